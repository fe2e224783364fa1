// A board description written out as a board file: every key, defaults included, so that a
// reader sees what the board is without knowing what the reader leaves out. Read back, it gives
// the same board.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/BoardFileDocument.h"

namespace sim {

BoardJson BoardFileJson(const BoardConfig& Config);

} // namespace sim

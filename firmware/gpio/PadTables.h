// The board's pad settings, one table per GPIO community, in the order they are applied. The
// tables and their row counts are generated from the board's description (module.json).
#pragma once

#include "board/BoardTables.h"
#include "gpio/PadConfigEntry.h"

extern const PadConfigEntry PadTable1000[PadTable1000Count];
extern const PadConfigEntry PadTable0000[PadTable0000Count];
extern const PadConfigEntry PadTable2000[PadTable2000Count];

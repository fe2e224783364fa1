// The summaries as one JSON document each (--json), built from the same reports and views as
// the text; tools/boardsim/schema/summary.schema.json describes them.
#pragma once

#include "sim/Board.h"
#include "tools/boardsim/render/DecodeSummary.h"
#include "tools/boardsim/render/OpSummary.h"
#include "tools/boardsim/render/Summary.h"

#include <nlohmann/json.hpp>

#include <iosfwd>

namespace boardsim {

// Each document carries the run's timeline (its parts and each device's stretches of accesses)
// and, with --pads, the pads' detail under "pads".
nlohmann::ordered_json RunDocument(const RunReport& Report, const sim::Board& Board);
// List: the slot list of --list instead of a call.
nlohmann::ordered_json OpDocument(const OpReport& Report, const sim::Board& Board, bool List);
nlohmann::ordered_json DecodeDocument(const DecodeReport& Report);

void PrintJson(std::ostream& Out, const nlohmann::ordered_json& Document);

} // namespace boardsim

// The summaries as one JSON document each (--json), built from the same reports and views as
// the text; tools/boardsim/schema/summary.schema.json describes them.
#pragma once

#include "sim/Board.h"
#include "tools/boardsim/shared/DecodeSummary.h"
#include "tools/boardsim/shared/OpSummary.h"
#include "tools/boardsim/shared/Summary.h"

#include <iosfwd>

namespace boardsim {

void PrintRunJson(std::ostream& Out, const RunReport& Report, const sim::Board& Board);
// List: the slot list of --list instead of a call.
void PrintOpJson(std::ostream& Out, const OpReport& Report, const sim::Board& Board, bool List);
void PrintDecodeJson(std::ostream& Out, const DecodeReport& Report);

} // namespace boardsim

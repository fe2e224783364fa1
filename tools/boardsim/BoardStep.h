// What the module did after its GPIO pass, read back from the trace: which PMIC it settled on
// and the pad and PMIC register accesses of its board step, for the run summary.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/BusLines.h"

#include <string>
#include <vector>

namespace boardsim {

struct BoardStepReport {
  std::string Selection;          // which PMIC, and how it was chosen
  std::vector<std::string> Steps; // the board step's effects, in order
  sim::decode::BusActivity Bus;   // everything on the PMIC bus during the run
};

// Trace may be the whole trace or only its view inputs (sim::TraceKeep): the report is the same.
BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace);

} // namespace boardsim

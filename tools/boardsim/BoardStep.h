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

BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace);

// The index of the board step's first access: the one after the GPIO pass's last write (the
// trace's size when the pass never ended).
size_t BoardStepStart(const std::vector<sim::Access>& Trace);

} // namespace boardsim

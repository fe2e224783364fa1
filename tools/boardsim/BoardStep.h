// What the module did after its GPIO pass, read back from the trace: which PMIC it settled on
// and the pad and PMIC register accesses of its board step, for the run summary.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"

#include <string>
#include <vector>

namespace boardsim {

struct BoardStepReport {
  std::string Selection;          // which PMIC, and how it was chosen
  std::vector<std::string> Steps; // the board step's effects, in order
  sim::decode::BusActivity Bus;   // everything on the PMIC bus during the run
};

BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace);

// "0.131 ms  read  0x34 reg 0x03 -> 0x41  under semaphore"
std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus);

} // namespace boardsim

// The views of a saved trace, from the trace alone: its accesses by kind, the PMIC bus and, for
// a trace of a boot, the PMIC selection and the board step, as the run summary shows them.
#pragma once

#include "sim/Trace.h"
#include "tools/boardsim/BoardStep.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace boardsim {

struct DecodeReport {
  std::string Path;
  uint64_t Accesses = 0;
  uint64_t MemoryReads = 0;
  uint64_t MemoryWrites = 0;
  uint64_t PortReads = 0;
  uint64_t PortWrites = 0;
  uint64_t LastNs = 0;  // the virtual time of the last access
  BoardStepReport Step; // without a GPIO pass (a trace of op) only its Bus says anything
};

DecodeReport DecodeTrace(const std::string& Path, const std::vector<sim::Access>& Trace);

void PrintDecode(std::ostream& Out, const DecodeReport& Report);

} // namespace boardsim

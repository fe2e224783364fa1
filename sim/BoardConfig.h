// What a board description says: the fitted parts' initial state and the faults to inject.
// Board files (JSON) are read into this; tests may also fill it directly.
#pragma once

#include "sim/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct PadLevel {
  uint32_t Community; // 0, 1 or 2: the communities at 0x0000, 0x1000, 0x2000
  uint32_t Pad;
  bool High;
};

// A pad-block register (physical address) that reads all ones for its first Reads reads.
struct PadFault {
  uint32_t Address;
  uint32_t Reads;
};

struct BoardConfig {
  std::string Name;
  std::string Description;
  uint16_t AcpiBase = 0x0000; // legacy bridge 0x40 out of reset: window off
  uint32_t PmcBase = 0xFED03000;
  bool PmTimer32Bit = false;
  uint32_t PmTimerStart = 0; // counter value at time 0, to place a wrap where a test wants it
  AccessCosts Costs;
  uint64_t AccessBudget = 20'000'000; // a boot takes a few hundred thousand
  std::vector<PadLevel> PadLevels;
  std::vector<PadFault> PadFaults;
};

} // namespace sim

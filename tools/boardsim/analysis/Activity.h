// Where a run spent its accesses: for each device of the board, the stretches of time in which
// the module kept accessing it, for the timeline of a page. Derived from the trace alone; the PM
// timer's reads that a trace did not keep are the gaps in its access numbers.
#pragma once

#include "sim/Trace.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace boardsim {

enum class Lane { GpioPads, LegacyGpio, PmTimer, I2cController, Sideband, PciConfig, Other };

// "gpio-pads", "legacy-gpio", "pm-timer", "i2c-controller", "sideband", "pci-config", "other"
std::string_view LaneName(Lane L);

// Accesses of one lane with no more than this between one and the next make one stretch: a
// timer wait, a table of the GPIO pass, a transfer's polls.
constexpr uint64_t ActivityGapNs = 5000;

struct ActivitySpan {
  Lane Where;
  uint64_t FirstSeq;
  uint64_t LastSeq;
  uint64_t StartNs;
  uint64_t EndNs;
  uint64_t Reads = 0;
  uint64_t Writes = 0;
};

// In order of their starts.
std::vector<ActivitySpan> FindActivity(const std::vector<sim::Access>& Trace);

// Trace less its PM-timer reads: what a run that keeps only the views' inputs keeps. A run that
// kept every access (--trace under --gdb) draws its timeline from these, as any other run does.
std::vector<sim::Access> ViewInputs(const std::vector<sim::Access>& Trace);

} // namespace boardsim

// Virtual time. It moves only with accesses, by a fixed cost per kind, so a run's timing depends
// on its access sequence alone and the host build and the emulated image see the same times.
#pragma once

#include <cstdint>

namespace sim {

struct AccessCosts {
  // Defaults of the simulated board, in nanoseconds: uncached register reads are slower than
  // posted writes, and port cycles to the legacy block are slower still.
  uint32_t MmioRead = 200;
  uint32_t MmioWrite = 100;
  uint32_t PortRead = 1000;
  uint32_t PortWrite = 1000;
};

class Clock {
public:
  uint64_t NowNs() const { return now_; }
  void Advance(uint64_t Ns) { now_ += Ns; }

private:
  uint64_t now_ = 0;
};

} // namespace sim

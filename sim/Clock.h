// Virtual time. It moves only with accesses, by a fixed cost per kind, so a run's timing depends
// on its access sequence alone and the host build and the emulated image see the same times.
#pragma once

#include <cstdint>
#include <limits>

namespace sim {

// The latest time there is: a deadline that is never reached. Every sum of times saturates here,
// so a delay near 2^64 ns means "never" instead of wrapping to a time already past.
constexpr uint64_t NeverNs = std::numeric_limits<uint64_t>::max();

constexpr uint64_t AddNs(uint64_t At, uint64_t Later) {
  return Later > NeverNs - At ? NeverNs : At + Later;
}

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
  // Time moved other than by an access (a test waiting on a device): the board's budgets are
  // looked at again on the next access.
  void Advance(uint64_t Ns) {
    now_ = AddNs(now_, Ns);
    checkAt_ = 0;
  }
  // The board's accesses so far: while a device answers an access, that access's sequence number
  // (the board counts an access once it is over). A device that notes when something happened
  // names the access with it.
  uint64_t Accesses() const { return accesses_; }
  // One access over, which took Ns.
  void Tick(uint64_t Ns) {
    now_ = AddNs(now_, Ns);
    ++accesses_;
  }
  // Only a checkpoint's restore takes time back.
  void Restore(uint64_t NowNs, uint64_t Accesses) {
    now_ = NowNs;
    accesses_ = Accesses;
    checkAt_ = 0;
  }
  // The board's budgets are looked at once the accesses reach a mark, the one comparison an access
  // makes: before it none of them can run out (sim/Board.h).
  bool BudgetsDue() const { return accesses_ >= checkAt_; }
  void CheckBudgetsAt(uint64_t Accesses) { checkAt_ = Accesses; }

private:
  uint64_t now_ = 0;
  uint64_t accesses_ = 0;
  uint64_t checkAt_ = 0;
};

} // namespace sim

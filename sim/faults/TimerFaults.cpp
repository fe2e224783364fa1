// The PM-timer family: a timer that stops counting.
#include "sim/Soc.h"
#include "sim/SocState.h"
#include "sim/faults/FaultFamily.h"

namespace sim::faults {

namespace {

void Apply(const FaultPoint& Point, BoardConfig& Board) {
  // A timer stopped once stays stopped: a second freeze could never strike.
  if (Board.PmTimerFrozenFromRead != 0) {
    Refuse("the board already freezes the PM timer from read " +
           std::to_string(Board.PmTimerFrozenFromRead));
  }
  Board.PmTimerFrozenFromRead = Point.When;
}

// The first and last read of every run of PM-timer reads: a run is what lies between two
// accesses the trace keeps, or a stretch of explicit reads of the timer's port.
std::vector<uint32_t> TimerWaitEnds(const std::vector<Access>& Kept) {
  std::vector<uint32_t> points;
  uint64_t timerReads = 0;
  uint64_t runStart = 0; // first read of the run being counted, 0 while none
  uint64_t next = 0;     // the sequence number the next kept access would have without gaps
  const auto endRun = [&] {
    if (runStart != 0) {
      points.push_back(static_cast<uint32_t>(runStart));
      if (timerReads != runStart) {
        points.push_back(static_cast<uint32_t>(timerReads));
      }
      runStart = 0;
    }
  };
  for (const Access& access : Kept) {
    if (access.Seq > next) { // dropped reads: all of them the timer's
      if (runStart == 0) {
        runStart = timerReads + 1;
      }
      timerReads += access.Seq - next;
    }
    next = access.Seq + 1;
    if (access.Op == AccessOp::In && access.Address == PmTimerPort) {
      if (runStart == 0) {
        runStart = timerReads + 1;
      }
      ++timerReads;
      continue;
    }
    endRun();
  }
  endRun();
  return points;
}

// Each wait gives two points, its first read and its last; the timer frozen at the run's very
// last read strikes at the read after it, which never comes, so that one is not a point.
void Enumerate(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  if (Run.Board.PmTimerFrozenFromRead != 0) {
    return;
  }
  const uint64_t reads = Run.Devices.Timer.Saved().Reads;
  for (const uint32_t n : TimerWaitEnds(Run.Trace)) {
    if (n < reads) {
      Points.push_back({FaultKind::TimerFrozen, 0, n});
    }
  }
}

bool Before(const FaultPoint& Point, const RunPosition& At) {
  // The Nth read still counts; the one after it is the first to find the count stopped.
  return At.State.Devices->Timer.Reads < Point.When;
}

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::TimerFrozen, "timer-frozen", FaultWhere::None, true,
     "the PM timer stops counting at its Nth read", Apply, Enumerate, Before},
};

} // namespace

std::span<const FaultKindInfo> TimerFaultKinds() {
  return Kinds;
}

} // namespace sim::faults

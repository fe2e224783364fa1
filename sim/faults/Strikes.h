// Where each fault of a run first changed what the board did: the device that carries a fault
// notes it here the first time the fault makes it answer otherwise than a sound one would (a
// byte refused, a read of all ones, a grant that did not come, a count that stopped). A fault of
// the board file is noted as the fault point that stands for it (sim/faults/FaultKinds.h). The
// log is part of the board's state: a checkpoint keeps it, and a restored run goes on noting.
#pragma once

#include "sim/Clock.h"
#include "sim/faults/FaultPoint.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

struct Strike {
  FaultPoint Fault;
  // The access during which it struck, or the first after it that could see it (its sequence
  // number in the trace); the run's access count when it struck after the last one (a byte the
  // bus finished after the module had stopped looking), where the module could not see it.
  uint64_t Access = 0;
  uint64_t TimeNs = 0;
};

class StrikeLog {
public:
  struct State {
    std::vector<Strike> Strikes;
    std::optional<Strike> HandOver; // when the module first asked for the HOB list
  };

  explicit StrikeLog(const Clock& C) : clock_(C) {}

  // The first time only: a fault strikes once, where it first changes something. AtNs: when it
  // struck, for a device that works out late what happened earlier (the bus, which catches up
  // with the clock when the module next touches its controller); the access noted is then the
  // first that could have seen it.
  void Mark(const FaultPoint& Fault) { Mark(Fault, busNs_.value_or(clock_.NowNs())); }
  void Mark(const FaultPoint& Fault, uint64_t AtNs) {
    if (Find(Fault) == nullptr) {
      state_.Strikes.push_back({Fault, clock_.Accesses(), AtNs});
    }
  }
  // The HOB list was handed over (the module asked for it): a fault in the list strikes there,
  // where the module's walk reaches it.
  void HandedOver() {
    if (!state_.HandOver) {
      state_.HandOver = Strike{{}, clock_.Accesses(), clock_.NowNs()};
    }
  }

  const Strike* Find(const FaultPoint& Fault) const {
    for (const Strike& strike : state_.Strikes) {
      if (strike.Fault == Fault) {
        return &strike;
      }
    }
    return nullptr;
  }
  const std::optional<Strike>& HandOver() const { return state_.HandOver; }
  const std::vector<Strike>& All() const { return state_.Strikes; }

  const State& Saved() const { return state_; }
  void Restore(const State& Saved) { state_ = Saved; }

  // While the bus works out a step that ended at AtNs, the devices on it note their faults at
  // that time.
  class BusStep {
  public:
    BusStep(StrikeLog* Log, uint64_t AtNs) : log_(Log) {
      if (log_ != nullptr) {
        log_->busNs_ = AtNs;
      }
    }
    ~BusStep() {
      if (log_ != nullptr) {
        log_->busNs_.reset();
      }
    }
    BusStep(const BusStep&) = delete;
    BusStep& operator=(const BusStep&) = delete;

  private:
    StrikeLog* log_;
  };

private:
  const Clock& clock_;
  State state_;
  std::optional<uint64_t> busNs_;
};

} // namespace sim

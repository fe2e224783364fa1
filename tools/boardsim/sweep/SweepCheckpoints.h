// The image's points of a sweep, started from checkpoints. Each worker keeps one CPU and records
// each target's fault-free run on it once, with a checkpoint every so many accesses; a point then
// starts from the last checkpoint before its fault can strike, on a board built with the fault,
// instead of from reset: up to there the faulted run is the fault-free one, access for access.
#pragma once

#include "emu/Machine.h"
#include "emu/PeImage.h"
#include "emu/Timeline.h"
#include "sim/BoardConfig.h"
#include "sim/Soc.h"
#include "sim/faults/FaultKinds.h"

#include <functional>
#include <memory>

namespace boardsim {

class SweepCheckpoints {
public:
  // A checkpoint every this many accesses of a recorded run.
  static constexpr uint64_t Every = 1024;

  // Runs a target on a board and machine, as the sweep runs it.
  using Runner = std::function<void(sim::Soc& Board, emu::Machine& Machine)>;

  explicit SweepCheckpoints(const emu::PeImage& Image) : image_(Image) {}

  // The machine, on Board (built from Target with Point applied as Faulted), ready to run Point:
  // part-way through Target's recorded run, or at reset where the fault strikes before the first
  // checkpoint. Target's run is recorded first, with Record, when it is not the one recorded last.
  emu::Machine& Start(const sim::BoardConfig& Target, const sim::FaultPoint& Point,
                      const sim::BoardConfig& Faulted, sim::Soc& Board, const Runner& Record);

private:
  void RecordTarget(const sim::BoardConfig& Target, const Runner& Record);

  const emu::PeImage& image_;
  std::unique_ptr<emu::Machine> machine_;
  struct Recording {
    const sim::BoardConfig* Target;
    emu::Timeline Timeline;
    sim::FaultReach Reach;
  };
  std::unique_ptr<Recording> recording_;
};

} // namespace boardsim

#include "tools/boardsim/sweep/SweepCheckpoints.h"

#include "emu/ImageRun.h"

namespace boardsim {

void SweepCheckpoints::RecordTarget(const sim::BoardConfig& Target, const Runner& Record) {
  recording_.reset();
  const emu::RunOptions options = emu::ImageRunOptions(Target);
  sim::Soc soc(Target);
  soc.Bus.GetTrace().SetKeep(sim::TraceKeep::Changes);
  const uint32_t stack = options.StackBytes != 0 ? options.StackBytes : emu::DefaultStackBytes;
  if (!machine_ || machine_->StackBytes() != stack) {
    machine_ = std::make_unique<emu::Machine>(image_, soc.Bus, options.HobList,
                                              options.InstructionLimit, false, options.StackBytes);
  } else {
    machine_->Reset(soc.Bus, options.HobList);
  }
  emu::Timeline timeline(Every);
  machine_->Record(&timeline);
  Record(soc, *machine_);
  machine_->Record(nullptr);
  timeline.Finish(soc.Bus);
  sim::FaultReach reach(Target, timeline.Kept());
  recording_ =
      std::make_unique<Recording>(Recording{&Target, std::move(timeline), std::move(reach)});
}

emu::Machine& SweepCheckpoints::Start(const sim::BoardConfig& Target, const sim::FaultPoint& Point,
                                      const sim::BoardConfig& Faulted, sim::Soc& Board,
                                      const Runner& Record) {
  if (!recording_ || recording_->Target != &Target) {
    RecordTarget(Target, Record);
  }
  const emu::Checkpoint* mark = recording_->Timeline.Latest(
      [&](const emu::Checkpoint& C) { return recording_->Reach.Before(Point, C.Board); });
  if (mark != nullptr) {
    recording_->Timeline.Replay(*machine_, *mark, Board.Bus);
  } else {
    machine_->Reset(Board.Bus, emu::ImageRunOptions(Faulted).HobList);
  }
  return *machine_;
}

} // namespace boardsim

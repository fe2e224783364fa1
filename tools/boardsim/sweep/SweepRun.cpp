#include "tools/boardsim/sweep/SweepRun.h"

#include "tools/boardsim/session/BoardInput.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "emu/ImageRun.h"
#include "sim/HobWalk.h"
#include "sim/Soc.h"
#include "tools/boardsim/analysis/Selection.h"
#include "tools/boardsim/render/OpSummary.h"
#include "tools/boardsim/session/ImageSlotCall.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/run/HostRun.h"
#include "tools/run/StatusName.h"

#include <algorithm>
#include <stdexcept>

namespace boardsim {

namespace {

// A run ends without returning either past a budget (the module kept waiting) or otherwise (a
// CPU fault, a halt, a jump through a null slot).
PointResult NotReturned(const std::string& Failure) {
  const bool stuck = Failure.find("budget of") != std::string::npos;
  return {stuck ? PointClass::Stuck : PointClass::Crashed, {}, Failure, {}, {}};
}

PointResult FromSlot(const SweepTarget& Target, const tools::SlotRun& Run) {
  if (!Run.Failure.empty()) {
    return NotReturned(Run.Failure);
  }
  if (!Run.Called) {
    return {
        PointClass::NotOffered, "not offered by variant " + VariantName(Run.VariantId), {}, {}, {}};
  }
  const tools::SlotReturn returns = tools::PmicSlots[Target.Slot->Slot].Signature().Returns;
  return {PointClass::Returned, FormatReturned(returns, *Run.Returned), {}, {}, {}};
}

// Where the point's fault struck, and whether the run changed at all: one that made the fault-free
// run's accesses and returned its value is no effect, one that changed without its fault
// striking is a failure of the board's model.
void ClassifyStrike(const sim::FaultPoint& Point, const sim::BoardConfig& Config, sim::Soc& Soc,
                    const SweepReference& Reference, PointResult& Result) {
  // A strike after the module's last access (the bus finishing a byte it no longer looked at) is
  // none the module could have seen.
  Result.Struck = sim::StruckIn(Point, Config, Soc.Bus.Strikes());
  if (Result.Struck && Result.Struck->Access >= Soc.Bus.AccessCount()) {
    Result.Struck.reset();
  }
  const bool returned =
      Result.Class == PointClass::Returned || Result.Class == PointClass::NotOffered;
  const sim::Trace& trace = Soc.Bus.GetTrace();
  if (returned && trace.Count() == Reference.Accesses && trace.Digest() == Reference.Digest &&
      Result.Returned == Reference.Returned) {
    Result.Class = PointClass::NoEffect;
  } else if (!Result.Struck) {
    Result.StrikeMissing = true;
    Result.Detail = StrikeMissingDetail;
  }
}

} // namespace

std::string SweepTarget::What() const {
  return Slot ? tools::PmicSlots[Slot->Slot].Name : "boot";
}

std::vector<SweepTarget> BoardTargets(const std::string& Board, const sim::BoardConfig& Config,
                                      const std::vector<size_t>& Slots, bool Boot) {
  std::vector<SweepTarget> targets;
  if (Boot) {
    targets.push_back({Board, Config, std::nullopt});
  }
  sim::BoardConfig called = Config;
  tools::OpenAcpiWindowAsEntryLeavesIt(called);
  for (const size_t slot : Slots) {
    const size_t values = tools::PmicSlots[slot].Signature().ValueCount();
    targets.push_back({Board, called, tools::SlotRequest{slot, std::vector<uint8_t>(values, 0)}});
  }
  return targets;
}

SweepModule::SweepModule(const std::optional<std::string>& ImagePath,
                         const std::optional<std::string>& MapPath, bool FromReset)
    : fromReset_(FromReset) {
  if (ImagePath) {
    image_ = LoadImage(*ImagePath);
    getActivePmic_ = FindGetActivePmic(MapOf(MapPath, *ImagePath));
  }
}

PointResult SweepModule::Run(const SweepTarget& Target, const std::optional<sim::FaultPoint>& Point,
                             const SweepReference* Reference, SweepReference* Keep,
                             std::vector<sim::FaultPoint>* Points,
                             const std::vector<sim::FaultKind>& Kinds) const {
  sim::BoardConfig config = Target.Config;
  if (Point) {
    if (auto why = PlaceFault(*Point, config)) {
      return {PointClass::NotRun, {}, std::move(*why), {}, {}};
    }
  }
  sim::Soc soc(config);
  // The reference's trace also places the PM-timer waits (by the reads it leaves out); a faulted
  // run's is only judged, and may poll a dead bus for seconds.
  soc.Bus.GetTrace().SetKeep(Points != nullptr ? sim::TraceKeep::ViewInputs
                                               : sim::TraceKeep::Changes);
  PointResult result;
  if (image_ && Point && !fromReset_) {
    if (!checkpoints_) {
      checkpoints_.emplace(*image_);
    }
    const auto record = [&](sim::Soc& Board, emu::Machine& Machine) {
      RunOn(Target, Target.Config, Board, &Machine);
    };
    emu::Machine& machine = checkpoints_->Start(Target.Config, *Point, config, soc, record);
    result = RunOn(Target, config, soc, &machine);
  } else {
    result = RunOn(Target, config, soc);
  }
  soc.RunOver();
  const sim::Trace& run = soc.Bus.GetTrace();
  const std::vector<sim::Access>& trace = run.Accesses();
  if (Reference != nullptr) {
    result.BadWrites = Judge(Target, *Reference->Writes, trace);
  }
  if (Point && Reference != nullptr) {
    ClassifyStrike(*Point, config, soc, *Reference, result);
  }
  if (Keep != nullptr) {
    *Keep = {std::make_unique<sim::ReferenceWrites>(trace), run.Count(), run.Digest(),
             result.Returned};
  }
  if (Points != nullptr) {
    *Points = sim::EnumerateFaultPoints(config, soc, Kinds);
  }
  return result;
}

PointResult SweepModule::RunOn(const SweepTarget& Target, const sim::BoardConfig& Config,
                               sim::Soc& Soc, emu::Machine* Machine) const {
  if (Target.Slot) {
    tools::SlotRun run = !image_
                             ? tools::CallSlotOnHost(Soc.Bus, {.Hobs = Config.Hobs}, Target.Slot)
                         : Machine ? CallSlotOn(*Machine, getActivePmic_, Soc, Target.Slot)
                                   : CallSlotInImage(*image_, getActivePmic_, Soc, Target.Slot);
    PointResult result = FromSlot(Target, run);
    result.StackUsed = run.StackUsed;
    return result;
  }
  const auto judge = [](const auto& Run) {
    PointResult result =
        Run.Status ? PointResult{PointClass::Returned, tools::StatusName(*Run.Status), {}, {}, {}}
                   : NotReturned(Run.Failure);
    result.StackUsed = Run.StackUsed;
    return result;
  };
  if (!image_) {
    return judge(tools::RunHostModule(Soc.Bus, {.Hobs = Config.Hobs}));
  }
  return judge(Machine != nullptr ? emu::RunEntry(*Machine, *image_)
                                  : emu::RunImage(*image_, Soc.Bus, emu::ImageRunOptions(Config)));
}

// A stray write is looked at again against the writes of every selection the board allows; those
// runs are made once per target in each worker, and only for a point that needs them.
std::vector<sim::BadWrite> SweepModule::Judge(const SweepTarget& Target,
                                              const sim::ReferenceWrites& Reference,
                                              const std::vector<sim::Access>& Trace) const {
  std::vector<sim::BadWrite> found = Reference.Check(Trace);
  const auto stray = [](const sim::BadWrite& B) { return B.Kind == sim::BadWriteKind::Stray; };
  if (std::none_of(found.begin(), found.end(), stray)) {
    return found;
  }
  std::unique_ptr<sim::ReferenceWrites>& widened = widened_[&Target];
  if (!widened) {
    widened = std::make_unique<sim::ReferenceWrites>(Reference);
    AddOtherSelections(Target, *widened);
  }
  const std::vector<sim::BadWrite> again = widened->Check(Trace);
  std::erase_if(found, [&](const sim::BadWrite& B) {
    return stray(B) && std::none_of(again.begin(), again.end(), [&](const sim::BadWrite& A) {
             return A.Seq == B.Seq && A.What == B.What;
           });
  });
  return found;
}

// The writes of the same target on every board where detection settles elsewhere.
void SweepModule::AddOtherSelections(const SweepTarget& Target,
                                     sim::ReferenceWrites& Reference) const {
  for (const sim::BoardConfig& config :
       sim::OtherSelectionBoards(Target.Config, DetectionDevices())) {
    sim::Soc soc(config);
    soc.Bus.GetTrace().SetKeep(sim::TraceKeep::Changes);
    RunOn(Target, config, soc);
    Reference.Add(soc.Bus.GetTrace().Accesses());
  }
}

std::optional<std::string> PlaceFault(const sim::FaultPoint& Point, sim::BoardConfig& Config) {
  try {
    sim::ApplyFault(Point, Config);
  } catch (const std::invalid_argument& refused) {
    return refused.what();
  }
  // Both forms hand over only lists whose walk stays inside them (sim/HobWalk.h).
  if (const auto problem = sim::CheckHobWalk(Config.Hobs)) {
    return "the board cannot hand this list over: HOB " + std::to_string(problem->Entry) + " " +
           problem->What;
  }
  return std::nullopt;
}

std::string TargetCommand(const SweepTarget& Target, bool Host,
                          const std::optional<std::string>& ImagePath,
                          const std::optional<std::string>& MapPath) {
  std::string command = Target.Slot ? "boardsim op" : "boardsim run";
  if (Host) {
    command += " --host";
  } else if (ImagePath) {
    command += " --image " + tools::ShellWord(*ImagePath);
  }
  if (!Host && MapPath && Target.Slot) {
    command += " --map " + tools::ShellWord(*MapPath);
  }
  command += " --board " + tools::ShellWord(Target.Board);
  if (Target.Slot) {
    command += std::string(" ") + tools::PmicSlots[Target.Slot->Slot].Name;
    for (const uint8_t value : Target.Slot->Values) {
      command += " " + std::to_string(value);
    }
  }
  return command;
}

std::string ReproduceCommand(const SweepTarget& Target, const sim::FaultPoint& Point, bool Host,
                             const std::optional<std::string>& ImagePath,
                             const std::optional<std::string>& MapPath) {
  return TargetCommand(Target, Host, ImagePath, MapPath) + " --fault " +
         sim::FormatFaultPoint(Point);
}

} // namespace boardsim

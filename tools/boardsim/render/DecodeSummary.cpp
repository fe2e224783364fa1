#include "tools/boardsim/render/DecodeSummary.h"

#include "common/Format.h"
#include "common/Printable.h"
#include "sim/devices/PmTimer.h"
#include "tools/boardsim/render/BusLines.h"
#include "tools/boardsim/render/PadLines.h"
#include "tools/boardsim/render/Summary.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

TraceDecoder::TraceDecoder(std::string Path, std::optional<std::vector<PadRef>> Pads, bool AllPads)
    : pads_(std::move(Pads)), allPads_(AllPads) {
  report_.Path = std::move(Path);
}

void TraceDecoder::Add(const sim::Access& Access) {
  ++report_.Accesses;
  report_.LastNs = Access.TimeNs;
  switch (Access.Op) {
  case sim::AccessOp::Read:
    ++report_.MemoryReads;
    break;
  case sim::AccessOp::Write:
    ++report_.MemoryWrites;
    break;
  case sim::AccessOp::In:
    ++report_.PortReads;
    if (Access.Address == sim::PmTimerPort) {
      return; // a function of the clock: no view reads it
    }
    break;
  case sim::AccessOp::Out:
    ++report_.PortWrites;
    break;
  }
  kept_.push_back(Access);
}

DecodeReport TraceDecoder::Finish() const {
  DecodeReport report = report_;
  report.Step = DescribeBoardStep(kept_);
  report.Phases = FindPhases(kept_, report.Step.Bus, report.LastNs);
  report.Activity = FindActivity(kept_);
  if (pads_) {
    report.PadDetail = ViewPads(kept_, report.Phases, {}, {}, *pads_);
  }
  if (allPads_) {
    report.AllPads = ViewPads(kept_, report.Phases, {}, {}, {});
  }
  return report;
}

DecodeReport DecodeTrace(const std::string& Path, const std::vector<sim::Access>& Trace,
                         std::optional<std::vector<PadRef>> Pads) {
  TraceDecoder decoder(Path, std::move(Pads));
  for (const sim::Access& access : Trace) {
    decoder.Add(access);
  }
  return decoder.Finish();
}

void PrintDecode(std::ostream& Out, const DecodeReport& Report) {
  Out << "trace     " << tools::Printable(Report.Path) << '\n';
  Out << "accesses  " << Report.Accesses << ", the last at " << tools::Milliseconds(Report.LastNs)
      << " of virtual time\n";
  Out << "  memory         reads " << std::setw(7) << Report.MemoryReads << "  writes "
      << std::setw(7) << Report.MemoryWrites << '\n';
  Out << "  port           reads " << std::setw(7) << Report.PortReads << "  writes "
      << std::setw(7) << Report.PortWrites << '\n';
  if (Report.Step.GpioPassSeen) {
    PrintStepAndBus(Out, Report.Step, Report.Listing);
  } else {
    // Not a boot (a trace of op, or of a run cut short): no selection or board step to tell apart.
    Out << "board step  none: the trace holds no GPIO pass\n";
    Out << "pmic bus  " << CountBusActivity(Report.Step.Bus) << '\n';
    for (const std::string& line : DescribeBusActivity(Report.Step.Bus, Report.Listing)) {
      Out << "  " << line << '\n';
    }
  }
  if (Report.PadDetail) {
    Out << "pads\n";
    for (const std::string& line : DescribePads(*Report.PadDetail)) {
      Out << "  " << line << '\n';
    }
  }
}

} // namespace boardsim

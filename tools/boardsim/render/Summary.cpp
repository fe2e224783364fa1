#include "tools/boardsim/render/Summary.h"

#include "common/Format.h"
#include "common/Printable.h"
#include "sim/faults/FaultKinds.h"
#include "tools/boardsim/render/PadLines.h"
#include "tools/boardsim/render/StepLines.h"
#include "tools/run/StatusName.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace boardsim {

RunReport ReportRun(RunHeader Header, const tools::RunResult& Result, const sim::Soc& Soc,
                    const std::vector<PadState>& PadsBefore) {
  return {std::move(Header),
          Result.Status,
          Result.Failure,
          ComparePads(PadsBefore, SnapshotPads(Soc.Gpio)),
          DescribeBoardStep(Soc.Bus.GetTrace().Accesses()),
          {}};
}

std::vector<PadRecord> ViewRunPads(const RunReport& Report, const sim::Soc& Soc,
                                   const std::vector<PadState>& PadsBefore,
                                   const std::vector<PadRef>& Wanted) {
  const std::vector<sim::Access>& accesses = Soc.Bus.GetTrace().Accesses();
  return ViewPads(accesses, FindPhases(accesses, Report.Step.Bus, Soc.Bus.GetClock().NowNs()),
                  PadsBefore, SnapshotPads(Soc.Gpio), Wanted);
}

std::string DescribeStrike(const std::optional<sim::Strike>& Struck, uint64_t Accesses) {
  if (!Struck) {
    return "did not strike";
  }
  if (Struck->Access >= Accesses) {
    return "struck at " + tools::Milliseconds(Struck->TimeNs) +
           ", after the module's last access: it could not see it";
  }
  return "struck at access " + std::to_string(Struck->Access) + " (" +
         tools::Milliseconds(Struck->TimeNs) + ")";
}

void PrintHeader(std::ostream& Out, const RunHeader& Header) {
  Out << "board     " << tools::Printable(Header.BoardName) << " ("
      << tools::Printable(Header.BoardPath) << ")\n";
  if (!Header.BoardDescription.empty()) {
    Out << "about     " << tools::Printable(Header.BoardDescription) << '\n';
  }
  Out << "module    " << ModuleName(Header.Image) << '\n';
  const RunFaults& faults = Header.Faults;
  if (faults.FromBoard.empty() && faults.Points.empty()) {
    Out << "faults    none\n";
    return;
  }
  const auto from = [](size_t Count, const char* Where) {
    return Count == 0 ? std::string() : std::to_string(Count) + " from " + Where;
  };
  const std::string file = from(faults.FromBoard.size(), "the board file");
  const std::string points = from(faults.Points.size(), "--fault");
  Out << "faults    " << file << (file.empty() || points.empty() ? "" : ", ") << points << '\n';
  // Each as given, then where it struck (once the run has been made).
  std::vector<std::string> given;
  for (const sim::GivenFault& fault : faults.FromBoard) {
    given.push_back(fault.Key + ' ' + tools::Printable(fault.Value));
  }
  for (const std::string& point : faults.Points) {
    given.push_back("--fault " + tools::Printable(point));
  }
  size_t width = 0;
  for (const std::string& line : given) {
    width = std::max(width, line.size());
  }
  for (size_t i = 0; i < given.size(); ++i) {
    Out << "  " << given[i];
    if (i < faults.Struck.size()) {
      Out << std::string(width - given[i].size() + 2, ' ')
          << DescribeStrike(faults.Struck[i], faults.Accesses);
    }
    Out << '\n';
  }
}

void PrintSummary(std::ostream& Out, const RunReport& Report, const sim::Board& Board) {
  PrintHeader(Out, Report.Header);
  if (Report.Status) {
    Out << "status    " << tools::StatusName(*Report.Status) << '\n';
  } else {
    Out << "status    did not return: " << DescribeFailure(Report.Failure, Board.GetTrace())
        << '\n';
  }
  Out << "time      " << tools::Milliseconds(Board.GetClock().NowNs()) << " of virtual time\n";
  if (Report.StackUsed) {
    Out << "stack     " << DescribeStack(*Report.StackUsed, Report.StackBytes) << '\n';
  }
  Out << "accesses  " << Board.AccessCount() << " (" << Board.Pauses() << " pause hints)\n";
  for (const auto& [device, counts] : Board.Counts()) {
    Out << "  " << std::left << std::setw(14) << device << std::right << " reads " << std::setw(7)
        << counts.Reads << "  writes " << std::setw(7) << counts.Writes << '\n';
  }
  Out << "pads      " << DescribePadChanges(Report.Pads) << '\n';
  if (Report.PadDetail) {
    for (const std::string& line : DescribePads(*Report.PadDetail)) {
      Out << "  " << line << '\n';
    }
  }
  PrintStepAndBus(Out, Report.Step, Report.Listing);
  if (Report.Waveform) {
    Out << "waveform  " << DescribeWaveform(*Report.Waveform) << '\n';
  }
}

std::string DescribeStack(uint32_t Used, uint32_t Size) {
  return std::to_string(Used) + " of " + std::to_string(Size) + " bytes used";
}

std::string DescribeFailure(const std::string& Failure, const sim::Trace& Trace) {
  constexpr size_t Shown = 10;
  std::string text = Failure.substr(0, Failure.find('\n')) + "\nlast accesses:";
  const std::vector<sim::Access> recent = Trace.Recent(Shown);
  for (const sim::Access& access : recent) {
    text += "\n  " + sim::FormatAccess(access);
  }
  return recent.empty() ? text + " none" : text;
}

void PrintStepAndBus(std::ostream& Out, const BoardStepReport& Step, const BusListing& Listing) {
  Out << "pmic      " << DescribeSelection(Step.Selection) << '\n';
  Out << "board step\n";
  for (const std::string& step : DescribeSteps(Step.Steps)) {
    Out << "  " << step << '\n';
  }
  Out << "pmic bus  " << CountBusActivity(Step.Bus) << '\n';
  for (const std::string& line : DescribeTransactions(Step.Bus, Listing)) {
    Out << "  " << line << '\n';
  }
}

} // namespace boardsim

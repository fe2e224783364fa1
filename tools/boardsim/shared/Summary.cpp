#include "tools/boardsim/shared/Summary.h"

#include "common/Printable.h"
#include "tools/boardsim/shared/RunModule.h"
#include "tools/run/StatusName.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

RunReport ReportRun(std::string BoardName, std::string BoardPath, std::optional<std::string> Image,
                    const tools::RunResult& Result, const sim::Soc& Soc,
                    const std::vector<PadState>& PadsBefore) {
  return {std::move(BoardName),
          std::move(BoardPath),
          std::move(Image),
          Result.Status,
          Result.Failure,
          ComparePads(PadsBefore, SnapshotPads(Soc.Gpio)),
          DescribeBoardStep(Soc.Bus.GetTrace().Accesses())};
}

std::vector<PadRecord> ViewRunPads(const RunReport& Report, const sim::Soc& Soc,
                                   const std::vector<PadState>& PadsBefore,
                                   const std::vector<PadRef>& Wanted) {
  const std::vector<sim::Access>& accesses = Soc.Bus.GetTrace().Accesses();
  return ViewPads(accesses, FindPhases(accesses, Report.Step.Bus, Soc.Bus.GetClock().NowNs()),
                  PadsBefore, SnapshotPads(Soc.Gpio), Wanted);
}

void PrintSummary(std::ostream& Out, const RunReport& Report, const sim::Board& Board) {
  Out << "board     " << tools::Printable(Report.BoardName) << " ("
      << tools::Printable(Report.BoardPath) << ")\n";
  Out << "module    " << ModuleName(Report.Image) << '\n';
  if (Report.Status) {
    Out << "status    " << tools::StatusName(*Report.Status) << '\n';
  } else {
    Out << "status    did not return: " << DescribeFailure(Report.Failure, Board.GetTrace())
        << '\n';
  }
  Out << "time      " << Milliseconds(Board.GetClock().NowNs()) << " of virtual time\n";
  Out << "accesses  " << Board.AccessCount() << " (" << Board.Pauses() << " pause hints)\n";
  for (const auto& [device, counts] : Board.Counts()) {
    Out << "  " << std::left << std::setw(14) << device << std::right << " reads " << std::setw(7)
        << counts.Reads << "  writes " << std::setw(7) << counts.Writes << '\n';
  }
  Out << "pads      " << Report.Pads.Configuration << " changed configuration, "
      << Report.Pads.Level << " changed level\n";
  if (Report.PadDetail) {
    for (const std::string& line : DescribePads(*Report.PadDetail)) {
      Out << "  " << line << '\n';
    }
  }
  PrintStepAndBus(Out, Report.Step);
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

void PrintStepAndBus(std::ostream& Out, const BoardStepReport& Step) {
  Out << "pmic      " << DescribeSelection(Step.Selection) << '\n';
  Out << "board step\n";
  for (const std::string& step : DescribeSteps(Step.Steps)) {
    Out << "  " << step << '\n';
  }
  Out << "pmic bus  " << CountBusActivity(Step.Bus) << '\n';
  for (const std::string& line : DescribeTransactions(Step.Bus)) {
    Out << "  " << line << '\n';
  }
}

} // namespace boardsim

#include "bench/StackReport.h"

#include "common/ToolError.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/boardsim/sweep/SweepRun.h"
#include "tools/run/PmicSlots.h"
#include "tools/run/SlotCall.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace bench {

namespace {

constexpr int BoardColumn = 34;
constexpr int FigureColumn = 6;

bool Shallower(const StackRun& A, const StackRun& B) {
  return A.Used < B.Used;
}

std::string Figure(const StackRun& Run) {
  return std::to_string(Run.Used) + (Run.Returned ? "" : "*");
}

} // namespace

StackReport MeasureStack(const std::string& ImagePath, const std::string& MapPath,
                         const std::string& BoardsDir, const std::vector<std::string>& Boards) {
  const std::vector<std::string> names =
      Boards.empty() ? boardsim::BuiltInBoardNames(BoardsDir) : Boards;
  if (names.empty()) {
    throw tools::ToolError(BoardsDir + ": no board files (NAME.json) to measure the stack on",
                           tools::ExitBadInput);
  }
  const boardsim::SweepModule module(ImagePath, MapPath);
  const std::vector<size_t> slots = tools::EverySlot();
  StackReport report;
  for (const std::string& name : names) {
    const boardsim::LoadedBoard board = boardsim::LoadBoard(name, BoardsDir);
    for (const boardsim::SweepTarget& target :
         boardsim::BoardTargets(name, board.Config, slots, true)) {
      const boardsim::PointResult result = module.Run(target, std::nullopt, nullptr);
      if (result.Class == boardsim::PointClass::NotOffered) {
        continue;
      }
      report.Runs.push_back({name, target.What(),
                             boardsim::TargetCommand(target, false, std::nullopt),
                             result.StackUsed.value_or(0), boardsim::StackBytesOf(target.Config),
                             result.Class == boardsim::PointClass::Returned});
    }
  }
  const auto deepest = std::max_element(report.Runs.begin(), report.Runs.end(), Shallower);
  report.Deepest = static_cast<size_t>(deepest - report.Runs.begin());
  return report;
}

void PrintStackReport(std::ostream& Out, const StackReport& Report) {
  if (Report.Runs.empty()) {
    return;
  }
  const StackRun& deepest = Report.Runs[Report.Deepest];
  const size_t notReturned = static_cast<size_t>(std::count_if(
      Report.Runs.begin(), Report.Runs.end(), [](const StackRun& R) { return !R.Returned; }));
  size_t boards = 0;
  for (size_t i = 0; i < Report.Runs.size(); ++i) {
    boards += i == 0 || Report.Runs[i].Board != Report.Runs[i - 1].Board;
  }
  Out << "stack: " << deepest.Used << " of " << deepest.Bytes << " bytes at the deepest, over "
      << Report.Runs.size() << " fault-free runs on " << boards << " boards";
  if (notReturned != 0) {
    Out << " (* " << notReturned << " did not return)";
  }
  Out << "\n  deepest: " << deepest.Command << '\n';
  Out << "  " << std::left << std::setw(BoardColumn) << "board" << std::right
      << std::setw(FigureColumn) << "boot"
      << "  deepest slot call (of those filled)\n";
  for (size_t first = 0; first < Report.Runs.size();) {
    size_t end = first + 1;
    while (end < Report.Runs.size() && Report.Runs[end].Board == Report.Runs[first].Board) {
      ++end;
    }
    // The boot comes first; a board may offer no slot at all.
    const auto slot =
        std::max_element(Report.Runs.begin() + static_cast<std::ptrdiff_t>(first) + 1,
                         Report.Runs.begin() + static_cast<std::ptrdiff_t>(end), Shallower);
    Out << "  " << std::left << std::setw(BoardColumn) << Report.Runs[first].Board << std::right
        << std::setw(FigureColumn) << Figure(Report.Runs[first]);
    if (end - first > 1) {
      Out << "  " << std::setw(FigureColumn) << Figure(*slot) << "  " << slot->What << " (of "
          << end - first - 1 << ")";
    } else {
      Out << "  none filled";
    }
    Out << '\n';
    first = end;
  }
}

} // namespace bench

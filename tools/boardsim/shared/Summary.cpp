#include "tools/boardsim/shared/Summary.h"

#include "common/Printable.h"
#include "tools/boardsim/shared/RunModule.h"
#include "tools/run/StatusName.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

std::vector<PadState> SnapshotPads(const sim::GpioPads& Gpio) {
  std::vector<PadState> pads;
  for (uint32_t community = 0; community < sim::GpioCommunityCount; ++community) {
    for (uint32_t pad = 0; pad < sim::GpioPadsPerCommunity; ++pad) {
      const uint32_t offset = sim::PadOffset(community, pad);
      pads.push_back({Gpio.Peek(offset), (Gpio.Peek(offset + 8) & 1) != 0});
    }
  }
  return pads;
}

PadChanges ComparePads(const std::vector<PadState>& Before, const std::vector<PadState>& After) {
  PadChanges changes;
  for (size_t i = 0; i < Before.size() && i < After.size(); ++i) {
    changes.Configuration += Before[i].Config != After[i].Config;
    changes.Level += Before[i].Level != After[i].Level;
  }
  return changes;
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
  for (const sim::GivenFault& fault : faults.FromBoard) {
    Out << "  " << fault.Key << ' ' << tools::Printable(fault.Value) << '\n';
  }
  for (const std::string& point : faults.Points) {
    Out << "  --fault " << tools::Printable(point) << '\n';
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
  Out << "time      " << Milliseconds(Board.GetClock().NowNs()) << " of virtual time\n";
  Out << "accesses  " << Board.AccessCount() << " (" << Board.Pauses() << " pause hints)\n";
  for (const auto& [device, counts] : Board.Counts()) {
    Out << "  " << std::left << std::setw(14) << device << std::right << " reads " << std::setw(7)
        << counts.Reads << "  writes " << std::setw(7) << counts.Writes << '\n';
  }
  Out << "pads      " << Report.Pads.Configuration << " changed configuration, "
      << Report.Pads.Level << " changed level\n";
  PrintStepAndBus(Out, Report.Step, Report.Listing);
  if (Report.Waveform) {
    Out << "waveform  " << DescribeWaveform(*Report.Waveform) << '\n';
  }
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

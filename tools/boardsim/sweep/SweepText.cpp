// The sweep as text: what `boardsim sweep` prints without --json, and the point list.
#include "tools/boardsim/sweep/SweepSummary.h"

#include "common/Printable.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>
#include <ostream>

namespace boardsim {

namespace {

void PrintTargets(std::ostream& Out, const SweepReport& Report, const SweepSummary& Summary) {
  Out << "module    " << Report.Module << '\n';
  Out << "targets   " << Summary.Boots << " boots, " << Report.Targets.size() - Summary.Boots
      << " slot calls\n";
  if (const std::optional<ShardPart>& shard = Report.Shard) {
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%",
                  shard->TotalCost == 0 ? 100.0 : 100.0 * shard->Cost / shard->TotalCost);
    Out << "shard     " << shard->Index << " of " << shard->Count << ": " << shard->Points.size()
        << " of " << shard->TotalPoints << " points, " << share << " of their expected cost\n";
  }
  for (size_t i = 0; i < Report.Targets.size(); ++i) {
    const SweepTarget& target = Report.Targets[i];
    if (Report.References[i].Failed()) {
      Out << "FAIL reference run of " << target.What() << " on " << tools::Printable(target.Board)
          << ": " << WhyFailed(Report.References[i]) << '\n';
    } else if (Report.References[i].Class == PointClass::NotOffered) {
      // Named with --op, yet nothing to sweep: say so rather than count it silently.
      Out << "not swept: " << target.What() << " on " << tools::Printable(target.Board) << ", "
          << Report.References[i].Returned << '\n';
    }
  }
}

void PrintKinds(std::ostream& Out, const SweepSummary& Summary) {
  Out << '\n'
      << std::left << std::setw(28) << "fault kind" << std::right << std::setw(7) << "points"
      << std::setw(7) << "struck" << std::setw(10) << "no-effect" << std::setw(9) << "returned"
      << std::setw(8) << "no-slot" << std::setw(6) << "stuck" << std::setw(8) << "crashed"
      << std::setw(6) << "stray" << std::setw(12) << "failed-read" << std::setw(8) << "not-run"
      << std::setw(7) << "failed" << '\n';
  for (const KindTally& t : Summary.Kinds) {
    Out << std::left << std::setw(28) << sim::InfoOf(t.Kind).Name << std::right << std::setw(7)
        << t.Points << std::setw(7) << t.Struck << std::setw(10) << t.NoEffect << std::setw(9)
        << t.Returned << std::setw(8) << t.NotOffered << std::setw(6) << t.Stuck << std::setw(8)
        << t.Crashed << std::setw(6) << t.Stray << std::setw(12) << t.FailedRead << std::setw(8)
        << t.NotRun << std::setw(7) << t.Failed << '\n';
  }
}

void PrintReturned(std::ostream& Out, const SweepReport& Report, const SweepSummary& Summary) {
  if (!Summary.Returned.empty()) {
    Out << '\n'
        << std::left << std::setw(28) << "fault kind" << std::setw(18) << "run" << std::setw(28)
        << "returned" << std::right << std::setw(7) << "points"
        << "  first point\n";
  }
  for (const ReturnedRow& row : Summary.Returned) {
    const SweepPoint& first = Report.Points[row.First];
    Out << std::left << std::setw(28) << sim::InfoOf(row.Kind).Name << std::setw(18) << row.Run
        << std::setw(28) << row.Value << std::right << std::setw(7) << row.Points << "  "
        << sim::FormatFaultPoint(first.Point) << " on "
        << tools::Printable(Report.Targets[first.Target].Board) << '\n';
  }
  if (!Summary.NotRun.empty()) {
    Out << "\nnot run\n";
    for (const auto& [why, count] : Summary.NotRun) {
      Out << "  " << count << " x " << why << '\n';
    }
  }
}

void PrintFailures(std::ostream& Out, const SweepReport& Report, const SweepSummary& Summary) {
  if (!Summary.Failures.empty()) {
    Out << "\nfailures\n";
  }
  for (const size_t i : Summary.Failures) {
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    Out << "FAIL " << sim::FormatFaultPoint(Report.Points[i].Point) << " on "
        << tools::Printable(target.Board) << ", " << target.What() << ": "
        << WhyFailed(Report.Results[i]) << "\n  reproduce: " << Report.Reproduce[i] << '\n';
  }
  if (const std::optional<size_t> deepest = Summary.DeepestStack) {
    const SweepTarget& target = Report.Targets[Report.Points[*deepest].Target];
    Out << "\nstack     deepest " << *Report.Results[*deepest].StackUsed << " bytes, at "
        << sim::FormatFaultPoint(Report.Points[*deepest].Point) << " on "
        << tools::Printable(target.Board) << ", " << target.What() << '\n';
  }
}

void PrintTotals(std::ostream& Out, const SweepReport& Report, const SweepSummary& Summary) {
  const SweepTotals& Totals = Summary.Totals;
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.1f s, %.0f points/s", Report.Seconds,
                Report.Seconds > 0 ? static_cast<double>(Totals.Points) / Report.Seconds : 0.0);
  Out << "\ntime      " << Totals.Points << " points (" << Report.Targets.size()
      << " reference runs) in " << rate << " with " << Report.Jobs << " jobs\n";
  if (const std::optional<ShardTimes>& shards = Summary.Shards) {
    char times[96];
    std::snprintf(times, sizeof times, "the slowest (%u) %.1f s against a mean of %.1f s",
                  Report.Merged[shards->Slowest].Index, shards->SlowestSeconds,
                  shards->MeanSeconds);
    Out << "shards    " << Report.Merged.size() << " merged, " << times << '\n';
  }
  Out << Totals.Passed << " passed, " << Totals.NoEffect << " no effect, " << Totals.Failed
      << " failed; the fault struck in " << Totals.Struck << " of the " << Totals.Run
      << " points run\n";
}

} // namespace

void PrintSweep(std::ostream& Out, const SweepReport& Report) {
  const SweepSummary summary = Summarize(Report);
  PrintTargets(Out, Report, summary);
  PrintKinds(Out, summary);
  PrintReturned(Out, Report, summary);
  PrintFailures(Out, Report, summary);
  PrintTotals(Out, Report, summary);
}

void PrintPointList(std::ostream& Out, const SweepReport& Report, bool Host,
                    const std::optional<std::string>& ImagePath,
                    const std::optional<std::string>& MapPath, bool Json) {
  nlohmann::ordered_json targets = nlohmann::ordered_json::array();
  for (size_t t = 0; t < Report.Targets.size(); ++t) {
    const SweepTarget& target = Report.Targets[t];
    std::vector<std::string> points;
    size_t left = 0;
    for (const SweepPoint& point : Report.Points) {
      if (point.Target != t) {
        continue;
      }
      sim::BoardConfig config = target.Config;
      if (PlaceFault(point.Point, config)) {
        ++left;
      } else {
        points.push_back(sim::FormatFaultPoint(point.Point));
      }
    }
    const std::string command = TargetCommand(target, Host, ImagePath, MapPath);
    targets.push_back({{"board", tools::Printable(target.Board)},
                       {"run", target.What()},
                       {"command", command},
                       {"reference", ClassName(Report.References[t].Class)},
                       {"points", points},
                       {"not_carried", left}});
    if (Json) {
      continue;
    }
    Out << "# " << command << ": " << points.size() << (points.size() == 1 ? " point" : " points");
    if (left > 0) {
      Out << " (" << left << " more the board cannot carry)";
    }
    if (Report.References[t].Failed()) {
      Out << "; FAIL reference run: " << WhyFailed(Report.References[t]);
    }
    Out << '\n';
    for (const std::string& point : points) {
      Out << point << '\n';
    }
  }
  if (Json) {
    Out << nlohmann::ordered_json{{"module", Report.Module}, {"targets", targets}}.dump(2) << '\n';
  }
}

} // namespace boardsim

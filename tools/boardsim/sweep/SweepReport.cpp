#include "tools/boardsim/sweep/SweepReport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>
#include <map>
#include <ostream>

namespace boardsim {

namespace {

// null for an empty text: an absent value is null in every JSON view.
nlohmann::ordered_json TextOrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Text);
}

struct KindTally {
  size_t Points = 0;
  size_t Returned = 0;
  size_t NotOffered = 0;
  size_t Stuck = 0;
  size_t Crashed = 0;
  size_t Stray = 0;      // points with a write the reference does not make
  size_t FailedRead = 0; // points with a write built on a failed read
  size_t NotRun = 0;
  size_t Failed = 0;
  std::map<std::string, size_t> Statuses;
};

std::vector<KindTally> Tally(const SweepReport& Report) {
  std::vector<KindTally> tallies(sim::FaultKinds().size());
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    KindTally& t = tallies[static_cast<size_t>(Report.Points[i].Point.Kind)];
    const PointResult& r = Report.Results[i];
    ++t.Points;
    switch (r.Class) {
    case PointClass::Returned:
      ++t.Returned;
      ++t.Statuses[r.Returned];
      break;
    case PointClass::NotOffered:
      ++t.NotOffered;
      ++t.Statuses[r.Returned];
      break;
    case PointClass::Stuck:
      ++t.Stuck;
      break;
    case PointClass::Crashed:
      ++t.Crashed;
      break;
    case PointClass::NotRun:
      ++t.NotRun;
      break;
    }
    const auto has = [&](sim::BadWriteKind Kind) {
      return std::any_of(r.BadWrites.begin(), r.BadWrites.end(),
                         [&](const sim::BadWrite& W) { return W.Kind == Kind; });
    };
    t.Stray += has(sim::BadWriteKind::Stray);
    t.FailedRead += has(sim::BadWriteKind::BuiltOnFailedRead);
    t.Failed += r.Failed();
  }
  return tallies;
}

const char* ClassName(PointClass Class) {
  switch (Class) {
  case PointClass::Returned:
    return "returned";
  case PointClass::NotOffered:
    return "not-offered";
  case PointClass::Stuck:
    return "stuck";
  case PointClass::Crashed:
    return "crashed";
  case PointClass::NotRun:
    return "not-run";
  }
  return "?";
}

const char* BadWriteName(sim::BadWriteKind Kind) {
  return Kind == sim::BadWriteKind::Stray ? "stray write" : "write built on a failed read";
}

std::string Why(const PointResult& R) {
  if (R.Class == PointClass::Stuck || R.Class == PointClass::Crashed) {
    return std::string(ClassName(R.Class)) + ": " + R.Detail;
  }
  const sim::BadWrite& first = R.BadWrites.front();
  return std::string(BadWriteName(first.Kind)) + " at access " + std::to_string(first.Seq) + ": " +
         first.What +
         (R.BadWrites.size() > 1 ? " (and " + std::to_string(R.BadWrites.size() - 1) + " more)"
                                 : "");
}

nlohmann::ordered_json ByKind(const std::map<sim::FaultKind, std::pair<size_t, size_t>>& Cells) {
  nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
  for (const auto& [kind, counts] : Cells) {
    kinds.push_back(
        {{"kind", sim::InfoOf(kind).Name}, {"points", counts.first}, {"failed", counts.second}});
  }
  return kinds;
}

size_t FailedReferences(const SweepReport& Report) {
  size_t failed = 0;
  for (const PointResult& r : Report.References) {
    failed += r.Failed();
  }
  return failed;
}

size_t FailedPoints(const SweepReport& Report) {
  size_t failed = 0;
  for (const PointResult& r : Report.Results) {
    failed += r.Failed();
  }
  return failed;
}

} // namespace

size_t SweepReport::Failed() const {
  return FailedReferences(*this) + FailedPoints(*this);
}

size_t SweepReport::NotRun() const {
  size_t count = 0;
  for (const PointResult& r : Results) {
    count += r.Class == PointClass::NotRun;
  }
  return count;
}

void PrintSweep(std::ostream& Out, const SweepReport& Report) {
  Out << "module    " << Report.Module << '\n';
  size_t boots = 0;
  for (const SweepTarget& t : Report.Targets) {
    boots += !t.Slot;
  }
  Out << "targets   " << boots << " boots, " << Report.Targets.size() - boots << " slot calls\n";
  for (size_t i = 0; i < Report.Targets.size(); ++i) {
    if (Report.References[i].Failed()) {
      Out << "FAIL reference run of " << Report.Targets[i].What() << " on "
          << Report.Targets[i].Board << ": " << Why(Report.References[i]) << '\n';
    } else if (Report.References[i].Class == PointClass::NotOffered) {
      // Named with --op, yet nothing to sweep: say so rather than count it silently.
      Out << "not swept: " << Report.Targets[i].What() << " on " << Report.Targets[i].Board << ", "
          << Report.References[i].Returned << '\n';
    }
  }
  Out << '\n'
      << std::left << std::setw(28) << "fault kind" << std::right << std::setw(7) << "points"
      << std::setw(9) << "returned" << std::setw(8) << "no-slot" << std::setw(6) << "stuck"
      << std::setw(8) << "crashed" << std::setw(6) << "stray" << std::setw(12) << "failed-read"
      << std::setw(8) << "not-run" << std::setw(7) << "failed" << '\n';
  const std::vector<KindTally> tallies = Tally(Report);
  for (const sim::FaultKind kind : Report.Kinds) {
    const KindTally& t = tallies[static_cast<size_t>(kind)];
    Out << std::left << std::setw(28) << sim::InfoOf(kind).Name << std::right << std::setw(7)
        << t.Points << std::setw(9) << t.Returned << std::setw(8) << t.NotOffered << std::setw(6)
        << t.Stuck << std::setw(8) << t.Crashed << std::setw(6) << t.Stray << std::setw(12)
        << t.FailedRead << std::setw(8) << t.NotRun << std::setw(7) << t.Failed << '\n';
  }
  Out << "\nreturned\n";
  for (const sim::FaultKind kind : Report.Kinds) {
    const KindTally& t = tallies[static_cast<size_t>(kind)];
    if (t.Statuses.empty()) {
      continue;
    }
    Out << "  " << std::left << std::setw(28) << sim::InfoOf(kind).Name << std::right;
    bool first = true;
    for (const auto& [status, count] : t.Statuses) {
      Out << (first ? "" : ", ") << status << " " << count;
      first = false;
    }
    Out << '\n';
  }
  std::map<std::string, size_t> notRun;
  for (const PointResult& r : Report.Results) {
    if (r.Class == PointClass::NotRun) {
      ++notRun[r.Detail];
    }
  }
  if (!notRun.empty()) {
    Out << "\nnot run\n";
    for (const auto& [why, count] : notRun) {
      Out << "  " << count << " x " << why << '\n';
    }
  }
  bool anyFailure = false;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (!r.Failed()) {
      continue;
    }
    if (!anyFailure) {
      Out << "\nfailures\n";
      anyFailure = true;
    }
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    Out << "FAIL " << sim::FormatFaultPoint(Report.Points[i].Point) << " on " << target.Board
        << ", " << target.What() << ": " << Why(r) << "\n  reproduce: " << Report.Reproduce[i]
        << '\n';
  }
  const size_t run = Report.Points.size() - Report.NotRun();
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.1f s, %.0f points/s", Report.Seconds,
                Report.Seconds > 0 ? static_cast<double>(Report.Points.size()) / Report.Seconds
                                   : 0.0);
  Out << "\ntime      " << Report.Points.size() << " points (" << Report.Targets.size()
      << " reference runs) in " << rate << " with " << Report.Jobs << " jobs\n";
  Out << run - FailedPoints(Report) << " passed, " << Report.Failed() << " failed\n";
}

nlohmann::ordered_json SweepDocument(const SweepReport& Report) {
  nlohmann::ordered_json doc;
  doc["command"] = "sweep";
  doc["module"] = Report.Module;
  nlohmann::ordered_json targets = nlohmann::ordered_json::array();
  std::vector<size_t> perTarget(Report.Targets.size());
  // By target, then by kind: points tried and failed.
  std::vector<std::map<sim::FaultKind, std::pair<size_t, size_t>>> cells(Report.Targets.size());
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const SweepPoint& p = Report.Points[i];
    ++perTarget[p.Target];
    auto& [tried, failed] = cells[p.Target][p.Point.Kind];
    ++tried;
    failed += Report.Results[i].Failed();
  }
  for (size_t i = 0; i < Report.Targets.size(); ++i) {
    const PointResult& r = Report.References[i];
    targets.push_back({{"board", Report.Targets[i].Board},
                       {"run", Report.Targets[i].What()},
                       {"reference", ClassName(r.Class)},
                       {"returned", TextOrNull(r.Returned)},
                       {"detail", TextOrNull(r.Detail)},
                       {"points", perTarget[i]},
                       {"by_kind", ByKind(cells[i])}});
  }
  doc["targets"] = targets;
  nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
  const std::vector<KindTally> tallies = Tally(Report);
  for (const sim::FaultKind kind : Report.Kinds) {
    const KindTally& t = tallies[static_cast<size_t>(kind)];
    kinds.push_back({{"kind", sim::InfoOf(kind).Name},
                     {"points", t.Points},
                     {"returned", t.Returned},
                     {"not_offered", t.NotOffered},
                     {"stuck", t.Stuck},
                     {"crashed", t.Crashed},
                     {"stray_writes", t.Stray},
                     {"writes_on_failed_reads", t.FailedRead},
                     {"not_run", t.NotRun},
                     {"failed", t.Failed},
                     {"statuses", t.Statuses}});
  }
  doc["kinds"] = kinds;
  nlohmann::ordered_json failures = nlohmann::ordered_json::array();
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (!r.Failed()) {
      continue;
    }
    nlohmann::ordered_json writes = nlohmann::ordered_json::array();
    for (const sim::BadWrite& w : r.BadWrites) {
      writes.push_back({{"kind", w.Kind == sim::BadWriteKind::Stray ? "stray" : "on-failed-read"},
                        {"seq", w.Seq},
                        {"write", w.What}});
    }
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    failures.push_back({{"fault", sim::FormatFaultPoint(Report.Points[i].Point)},
                        {"board", target.Board},
                        {"run", target.What()},
                        {"class", ClassName(r.Class)},
                        {"detail", TextOrNull(r.Detail)},
                        {"bad_writes", writes},
                        {"reproduce", Report.Reproduce[i]}});
  }
  doc["failures"] = failures;
  doc["seconds"] = Report.Seconds;
  doc["jobs"] = Report.Jobs;
  doc["passed"] = Report.Points.size() - Report.NotRun() - FailedPoints(Report);
  doc["failed"] = Report.Failed();
  return doc;
}

} // namespace boardsim

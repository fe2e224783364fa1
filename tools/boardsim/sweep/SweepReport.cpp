#include "tools/boardsim/sweep/SweepReport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>
#include <map>
#include <ostream>
#include <tuple>

namespace boardsim {

namespace {

// null for an empty text: an absent value is null in every JSON view.
nlohmann::ordered_json TextOrNull(const std::string& Text) {
  return Text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(Text);
}

struct KindTally {
  size_t Points = 0;
  size_t Struck = 0;
  size_t NoEffect = 0;
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

// The point whose run went deepest into its stack (the first of equals); none for the host build.
std::optional<size_t> DeepestStack(const SweepReport& Report) {
  std::optional<size_t> deepest;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const std::optional<uint32_t>& used = Report.Results[i].StackUsed;
    if (used && (!deepest || *used > *Report.Results[*deepest].StackUsed)) {
      deepest = i;
    }
  }
  return deepest;
}

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
    case PointClass::NoEffect:
      ++t.NoEffect;
      ++t.Statuses[r.Returned];
      break;
    }
    t.Struck += r.Struck.has_value();
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
  case PointClass::NoEffect:
    return "no-effect";
  }
  return "?";
}

// What the points of one kind returned in one run (a boot, or a slot), one value each: how many
// points, and the first of them, so that a value leads back to a point.
struct ReturnedRow {
  size_t Points = 0;
  size_t First = 0; // index into Report.Points
};
using ReturnedKey = std::tuple<size_t, size_t, std::string>; // kind, run (0: boot), value

std::map<ReturnedKey, ReturnedRow> ReturnedRows(const SweepReport& Report) {
  std::map<ReturnedKey, ReturnedRow> rows;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (r.Class != PointClass::Returned && r.Class != PointClass::NotOffered &&
        r.Class != PointClass::NoEffect) {
      continue;
    }
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    const ReturnedKey key{static_cast<size_t>(Report.Points[i].Point.Kind),
                          target.Slot ? target.Slot->Slot + 1 : 0, r.Returned};
    auto [row, added] = rows.try_emplace(key, ReturnedRow{0, i});
    ++row->second.Points;
  }
  return rows;
}

std::string RunName(size_t Run) {
  return Run == 0 ? "boot" : tools::PmicSlots[Run - 1].Name;
}

const char* BadWriteName(sim::BadWriteKind Kind) {
  return Kind == sim::BadWriteKind::Stray ? "stray write" : "write built on a failed read";
}

std::string Why(const PointResult& R) {
  if (R.Class == PointClass::Stuck || R.Class == PointClass::Crashed) {
    return std::string(ClassName(R.Class)) + ": " + R.Detail;
  }
  if (R.BadWrites.empty()) {
    return R.Detail; // a run that changed with no strike of its fault noted
  }
  const sim::BadWrite& first = R.BadWrites.front();
  return std::string(BadWriteName(first.Kind)) + " at access " + std::to_string(first.Seq) + ": " +
         first.What +
         (R.BadWrites.size() > 1 ? " (and " + std::to_string(R.BadWrites.size() - 1) + " more)"
                                 : "");
}

// The points of one kind at one target: tried, failed, struck and with no effect (the page's
// matrix has no points of its own to count them from).
struct CellCounts {
  size_t Points = 0;
  size_t Failed = 0;
  size_t Struck = 0;
  size_t NoEffect = 0;
};

nlohmann::ordered_json ByKind(const std::map<sim::FaultKind, CellCounts>& Cells) {
  nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
  for (const auto& [kind, counts] : Cells) {
    kinds.push_back({{"kind", sim::InfoOf(kind).Name},
                     {"points", counts.Points},
                     {"failed", counts.Failed},
                     {"struck", counts.Struck},
                     {"no_effect", counts.NoEffect}});
  }
  return kinds;
}

nlohmann::ordered_json BadWritesJson(const PointResult& R) {
  nlohmann::ordered_json writes = nlohmann::ordered_json::array();
  for (const sim::BadWrite& w : R.BadWrites) {
    writes.push_back({{"kind", w.Kind == sim::BadWriteKind::Stray ? "stray" : "on-failed-read"},
                      {"seq", w.Seq},
                      {"write", w.What}});
  }
  return writes;
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

// What the totals say: a point passes only where its fault struck, changed the run and the module
// behaved; one whose run changed nothing is no effect.
struct Totals {
  size_t Passed = 0;
  size_t NoEffect = 0;
  size_t Struck = 0;
};

Totals TotalsOf(const SweepReport& Report) {
  Totals totals;
  for (const PointResult& r : Report.Results) {
    totals.Struck += r.Struck.has_value();
    totals.NoEffect += r.Class == PointClass::NoEffect;
    totals.Passed += r.Class != PointClass::NotRun && r.Class != PointClass::NoEffect &&
                     !r.Failed() && r.Struck.has_value();
  }
  return totals;
}

nlohmann::ordered_json StrikeJson(const std::optional<sim::Strike>& Struck) {
  return Struck ? nlohmann::ordered_json{{"access", Struck->Access}, {"time_ns", Struck->TimeNs}}
                : nlohmann::ordered_json();
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
      << std::setw(7) << "struck" << std::setw(10) << "no-effect" << std::setw(9) << "returned"
      << std::setw(8) << "no-slot" << std::setw(6) << "stuck" << std::setw(8) << "crashed"
      << std::setw(6) << "stray" << std::setw(12) << "failed-read" << std::setw(8) << "not-run"
      << std::setw(7) << "failed" << '\n';
  const std::vector<KindTally> tallies = Tally(Report);
  for (const sim::FaultKind kind : Report.Kinds) {
    const KindTally& t = tallies[static_cast<size_t>(kind)];
    Out << std::left << std::setw(28) << sim::InfoOf(kind).Name << std::right << std::setw(7)
        << t.Points << std::setw(7) << t.Struck << std::setw(10) << t.NoEffect << std::setw(9)
        << t.Returned << std::setw(8) << t.NotOffered << std::setw(6) << t.Stuck << std::setw(8)
        << t.Crashed << std::setw(6) << t.Stray << std::setw(12) << t.FailedRead << std::setw(8)
        << t.NotRun << std::setw(7) << t.Failed << '\n';
  }
  const std::map<ReturnedKey, ReturnedRow> returned = ReturnedRows(Report);
  if (!returned.empty()) {
    Out << '\n'
        << std::left << std::setw(28) << "fault kind" << std::setw(18) << "run" << std::setw(28)
        << "returned" << std::right << std::setw(7) << "points"
        << "  first point\n";
  }
  for (const auto& [key, row] : returned) {
    const auto& [kind, run, value] = key;
    const SweepPoint& first = Report.Points[row.First];
    Out << std::left << std::setw(28) << sim::FaultKinds()[kind].Name << std::setw(18)
        << RunName(run) << std::setw(28) << value << std::right << std::setw(7) << row.Points
        << "  " << sim::FormatFaultPoint(first.Point) << " on "
        << Report.Targets[first.Target].Board << '\n';
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
  if (const std::optional<size_t> deepest = DeepestStack(Report)) {
    const SweepTarget& target = Report.Targets[Report.Points[*deepest].Target];
    Out << "\nstack     deepest " << *Report.Results[*deepest].StackUsed << " bytes, at "
        << sim::FormatFaultPoint(Report.Points[*deepest].Point) << " on " << target.Board << ", "
        << target.What() << '\n';
  }
  const size_t run = Report.Points.size() - Report.NotRun();
  const Totals totals = TotalsOf(Report);
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.1f s, %.0f points/s", Report.Seconds,
                Report.Seconds > 0 ? static_cast<double>(Report.Points.size()) / Report.Seconds
                                   : 0.0);
  Out << "\ntime      " << Report.Points.size() << " points (" << Report.Targets.size()
      << " reference runs) in " << rate << " with " << Report.Jobs << " jobs\n";
  Out << totals.Passed << " passed, " << totals.NoEffect << " no effect, " << Report.Failed()
      << " failed; the fault struck in " << totals.Struck << " of the " << run << " points run\n";
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
    targets.push_back({{"board", target.Board},
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
      Out << "; FAIL reference run: " << Why(Report.References[t]);
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

nlohmann::ordered_json SweepDocument(const SweepReport& Report) {
  nlohmann::ordered_json doc;
  doc["command"] = "sweep";
  doc["module"] = Report.Module;
  nlohmann::ordered_json targets = nlohmann::ordered_json::array();
  std::vector<size_t> perTarget(Report.Targets.size());
  // By target, then by kind: points tried, failed, struck and with no effect.
  std::vector<std::map<sim::FaultKind, CellCounts>> cells(Report.Targets.size());
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const SweepPoint& p = Report.Points[i];
    const PointResult& r = Report.Results[i];
    ++perTarget[p.Target];
    CellCounts& cell = cells[p.Target][p.Point.Kind];
    ++cell.Points;
    cell.Failed += r.Failed();
    cell.Struck += r.Struck.has_value();
    cell.NoEffect += r.Class == PointClass::NoEffect;
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
                     {"struck", t.Struck},
                     {"no_effect", t.NoEffect},
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
  nlohmann::ordered_json returned = nlohmann::ordered_json::array();
  for (const auto& [key, row] : ReturnedRows(Report)) {
    const auto& [kind, run, value] = key;
    returned.push_back({{"kind", sim::FaultKinds()[kind].Name},
                        {"run", RunName(run)},
                        {"value", value},
                        {"points", row.Points},
                        {"first_point", row.First}});
  }
  doc["returned"] = returned;
  nlohmann::ordered_json points = nlohmann::ordered_json::array();
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    points.push_back({{"target", Report.Points[i].Target},
                      {"fault", sim::FormatFaultPoint(Report.Points[i].Point)},
                      {"class", ClassName(r.Class)},
                      {"returned", TextOrNull(r.Returned)},
                      {"detail", TextOrNull(r.Detail)},
                      {"struck", StrikeJson(r.Struck)},
                      {"bad_writes", BadWritesJson(r)}});
  }
  doc["points"] = points;
  nlohmann::ordered_json failures = nlohmann::ordered_json::array();
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (!r.Failed()) {
      continue;
    }
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    failures.push_back({{"fault", sim::FormatFaultPoint(Report.Points[i].Point)},
                        {"board", target.Board},
                        {"run", target.What()},
                        {"class", ClassName(r.Class)},
                        {"detail", TextOrNull(r.Detail)},
                        {"struck", StrikeJson(r.Struck)},
                        {"bad_writes", BadWritesJson(r)},
                        {"reproduce", Report.Reproduce[i]}});
  }
  doc["failures"] = failures;
  nlohmann::ordered_json stack;
  if (const std::optional<size_t> deepest = DeepestStack(Report)) {
    const SweepTarget& target = Report.Targets[Report.Points[*deepest].Target];
    stack = {{"deepest_bytes", *Report.Results[*deepest].StackUsed},
             {"fault", sim::FormatFaultPoint(Report.Points[*deepest].Point)},
             {"board", target.Board},
             {"run", target.What()}};
  }
  doc["stack"] = stack;
  doc["seconds"] = Report.Seconds;
  doc["jobs"] = Report.Jobs;
  const Totals totals = TotalsOf(Report);
  doc["passed"] = totals.Passed;
  doc["no_effect"] = totals.NoEffect;
  doc["struck"] = totals.Struck;
  doc["failed"] = Report.Failed();
  return doc;
}

} // namespace boardsim

#include "tools/boardsim/sweep/SweepSummary.h"

#include <algorithm>
#include <tuple>

namespace boardsim {

namespace {

void Count(KindTally& T, const PointResult& R) {
  ++T.Points;
  switch (R.Class) {
  case PointClass::Returned:
    ++T.Returned;
    ++T.Statuses[R.Returned];
    break;
  case PointClass::NotOffered:
    ++T.NotOffered;
    ++T.Statuses[R.Returned];
    break;
  case PointClass::Stuck:
    ++T.Stuck;
    break;
  case PointClass::Crashed:
    ++T.Crashed;
    break;
  case PointClass::NotRun:
    ++T.NotRun;
    break;
  case PointClass::NoEffect:
    ++T.NoEffect;
    ++T.Statuses[R.Returned];
    break;
  }
  const auto has = [&](sim::BadWriteKind Kind) {
    return std::any_of(R.BadWrites.begin(), R.BadWrites.end(),
                       [&](const sim::BadWrite& W) { return W.Kind == Kind; });
  };
  T.Struck += R.Struck.has_value();
  T.Stray += has(sim::BadWriteKind::Stray);
  T.FailedRead += has(sim::BadWriteKind::BuiltOnFailedRead);
  T.Failed += R.Failed();
}

std::vector<KindTally> TallyKinds(const SweepReport& Report) {
  std::vector<KindTally> all(sim::FaultKinds().size());
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    Count(all[static_cast<size_t>(Report.Points[i].Point.Kind)], Report.Results[i]);
  }
  for (const std::map<sim::FaultKind, size_t>& listed : Report.Listed) {
    for (const auto& [kind, count] : listed) {
      all[static_cast<size_t>(kind)].Listed += count;
    }
  }
  std::vector<KindTally> asked;
  for (const sim::FaultKind kind : Report.Kinds) {
    asked.push_back(all[static_cast<size_t>(kind)]);
    asked.back().Kind = kind;
  }
  return asked;
}

bool Returned(const PointResult& R) {
  return R.Class == PointClass::Returned || R.Class == PointClass::NotOffered ||
         R.Class == PointClass::NoEffect;
}

// By kind, then run (the boot first, then the slots in their order), then value.
std::vector<ReturnedRow> ReturnedRows(const SweepReport& Report) {
  using Key = std::tuple<size_t, size_t, std::string>;
  std::map<Key, ReturnedRow> rows;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (!Returned(r)) {
      continue;
    }
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    const sim::FaultKind kind = Report.Points[i].Point.Kind;
    const Key key{static_cast<size_t>(kind), target.Slot ? target.Slot->Slot + 1 : 0, r.Returned};
    auto [row, added] = rows.try_emplace(key, ReturnedRow{kind, target.What(), r.Returned, 0, i});
    ++row->second.Points;
  }
  std::vector<ReturnedRow> ordered;
  for (auto& [key, row] : rows) {
    ordered.push_back(std::move(row));
  }
  return ordered;
}

std::vector<TargetCells> TargetCellsOf(const SweepReport& Report) {
  std::vector<TargetCells> cells(Report.Targets.size());
  for (size_t t = 0; t < Report.Listed.size(); ++t) {
    for (const auto& [kind, count] : Report.Listed[t]) {
      cells[t].ByKind[kind].Listed = count;
    }
  }
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    TargetCells& target = cells[Report.Points[i].Target];
    ++target.Points;
    CellCounts& cell = target.ByKind[Report.Points[i].Point.Kind];
    ++cell.Points;
    cell.Failed += r.Failed();
    cell.Struck += r.Struck.has_value();
    cell.NoEffect += r.Class == PointClass::NoEffect;
  }
  return cells;
}

std::optional<size_t> DeepestStackOf(const SweepReport& Report) {
  std::optional<size_t> deepest;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const std::optional<uint32_t>& used = Report.Results[i].StackUsed;
    if (used && (!deepest || *used > *Report.Results[*deepest].StackUsed)) {
      deepest = i;
    }
  }
  return deepest;
}

SweepTotals TotalsOf(const SweepReport& Report) {
  SweepTotals totals;
  totals.Points = Report.Points.size();
  for (const PointResult& r : Report.Results) {
    totals.Run += r.Class != PointClass::NotRun;
    totals.Struck += r.Struck.has_value();
    totals.NoEffect += r.Class == PointClass::NoEffect;
    totals.Failed += r.Failed();
    totals.Passed += r.Class != PointClass::NotRun && r.Class != PointClass::NoEffect &&
                     !r.Failed() && r.Struck.has_value();
  }
  for (const PointResult& r : Report.References) {
    totals.Failed += r.Failed();
  }
  return totals;
}

std::optional<ShardTimes> ShardTimesOf(const SweepReport& Report) {
  if (Report.Merged.empty()) {
    return std::nullopt;
  }
  ShardTimes times;
  double sum = 0;
  for (size_t i = 0; i < Report.Merged.size(); ++i) {
    sum += Report.Merged[i].Seconds;
    if (Report.Merged[i].Seconds > Report.Merged[times.Slowest].Seconds) {
      times.Slowest = i;
    }
  }
  times.SlowestSeconds = Report.Merged[times.Slowest].Seconds;
  times.MeanSeconds = sum / static_cast<double>(Report.Merged.size());
  return times;
}

} // namespace

size_t SweepReport::Failed() const {
  const auto failed = [](const PointResult& R) { return R.Failed(); };
  return static_cast<size_t>(std::count_if(References.begin(), References.end(), failed) +
                             std::count_if(Results.begin(), Results.end(), failed));
}

SweepSummary Summarize(const SweepReport& Report) {
  SweepSummary summary;
  summary.Boots = static_cast<size_t>(std::count_if(Report.Targets.begin(), Report.Targets.end(),
                                                    [](const SweepTarget& T) { return !T.Slot; }));
  summary.Kinds = TallyKinds(Report);
  summary.Returned = ReturnedRows(Report);
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    const PointResult& r = Report.Results[i];
    if (r.Class == PointClass::NotRun) {
      ++summary.NotRun[r.Detail];
    }
    if (r.Failed()) {
      summary.Failures.push_back(i);
    }
  }
  summary.Targets = TargetCellsOf(Report);
  summary.DeepestStack = DeepestStackOf(Report);
  summary.Totals = TotalsOf(Report);
  summary.Shards = ShardTimesOf(Report);
  return summary;
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

std::optional<PointClass> ClassNamed(std::string_view Name) {
  for (const PointClass c : {PointClass::Returned, PointClass::NotOffered, PointClass::Stuck,
                             PointClass::Crashed, PointClass::NotRun, PointClass::NoEffect}) {
    if (Name == ClassName(c)) {
      return c;
    }
  }
  return std::nullopt;
}

const char* BadWriteName(sim::BadWriteKind Kind) {
  return Kind == sim::BadWriteKind::Stray ? "stray write" : "write built on a failed read";
}

std::string WhyFailed(const PointResult& R) {
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

} // namespace boardsim

// The sweep as one JSON document (tools/boardsim/schema/sweep.schema.json), which --json prints
// and --html draws.
#include "tools/boardsim/sweep/SweepSummary.h"

#include "common/Printable.h"

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

// null for an empty text: an absent value is null in every JSON view.
json TextOrNull(const std::string& Text) {
  return Text.empty() ? json() : json(Text);
}

json StrikeJson(const std::optional<sim::Strike>& Struck) {
  return Struck ? json{{"access", Struck->Access}, {"time_ns", Struck->TimeNs}} : json();
}

json BadWritesJson(const PointResult& R) {
  json writes = json::array();
  for (const sim::BadWrite& w : R.BadWrites) {
    writes.push_back({{"kind", w.Kind == sim::BadWriteKind::Stray ? "stray" : "on-failed-read"},
                      {"seq", w.Seq},
                      {"write", w.What}});
  }
  return writes;
}

json TargetsJson(const SweepReport& Report, const SweepSummary& Summary) {
  json targets = json::array();
  for (size_t i = 0; i < Report.Targets.size(); ++i) {
    const PointResult& r = Report.References[i];
    json kinds = json::array();
    for (const auto& [kind, cell] : Summary.Targets[i].ByKind) {
      kinds.push_back({{"kind", sim::InfoOf(kind).Name},
                       {"listed", cell.Listed},
                       {"points", cell.Points},
                       {"failed", cell.Failed},
                       {"struck", cell.Struck},
                       {"no_effect", cell.NoEffect}});
    }
    targets.push_back({{"board", tools::Printable(Report.Targets[i].Board)},
                       {"run", Report.Targets[i].What()},
                       {"reference", ClassName(r.Class)},
                       {"returned", TextOrNull(r.Returned)},
                       {"detail", TextOrNull(r.Detail)},
                       {"points", Summary.Targets[i].Points},
                       {"by_kind", kinds}});
  }
  return targets;
}

json KindsJson(const SweepSummary& Summary) {
  json kinds = json::array();
  for (const KindTally& t : Summary.Kinds) {
    kinds.push_back({{"kind", sim::InfoOf(t.Kind).Name},
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
  return kinds;
}

json ReturnedJson(const SweepSummary& Summary) {
  json returned = json::array();
  for (const ReturnedRow& row : Summary.Returned) {
    returned.push_back({{"kind", sim::InfoOf(row.Kind).Name},
                        {"run", row.Run},
                        {"value", row.Value},
                        {"points", row.Points},
                        {"first_point", row.First}});
  }
  return returned;
}

json PointsJson(const SweepReport& Report) {
  json points = json::array();
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
  return points;
}

json FailuresJson(const SweepReport& Report, const SweepSummary& Summary) {
  json failures = json::array();
  for (const size_t i : Summary.Failures) {
    const PointResult& r = Report.Results[i];
    const SweepTarget& target = Report.Targets[Report.Points[i].Target];
    failures.push_back({{"fault", sim::FormatFaultPoint(Report.Points[i].Point)},
                        {"board", tools::Printable(target.Board)},
                        {"run", target.What()},
                        {"class", ClassName(r.Class)},
                        {"detail", TextOrNull(r.Detail)},
                        {"struck", StrikeJson(r.Struck)},
                        {"bad_writes", BadWritesJson(r)},
                        {"reproduce", Report.Reproduce[i]}});
  }
  return failures;
}

json StackJson(const SweepReport& Report, const SweepSummary& Summary) {
  if (!Summary.DeepestStack) {
    return json();
  }
  const size_t deepest = *Summary.DeepestStack;
  const SweepTarget& target = Report.Targets[Report.Points[deepest].Target];
  return {{"deepest_bytes", *Report.Results[deepest].StackUsed},
          {"fault", sim::FormatFaultPoint(Report.Points[deepest].Point)},
          {"board", tools::Printable(target.Board)},
          {"run", target.What()},
          {"point", deepest}};
}

json ShardJson(const std::optional<ShardPart>& Shard) {
  if (!Shard) {
    return json();
  }
  return {{"index", Shard->Index},   {"count", Shard->Count}, {"total_points", Shard->TotalPoints},
          {"points", Shard->Points}, {"cost", Shard->Cost},   {"total_cost", Shard->TotalCost}};
}

json MergedJson(const SweepReport& Report, const SweepSummary& Summary) {
  if (!Summary.Shards) {
    return json();
  }
  json shards = json::array();
  for (const MergedShard& shard : Report.Merged) {
    shards.push_back({{"file", shard.File},
                      {"index", shard.Index},
                      {"points", shard.Points},
                      {"cost_share", shard.CostShare},
                      {"seconds", shard.Seconds},
                      {"jobs", shard.Jobs}});
  }
  return {{"shards", shards},
          {"slowest_seconds", Summary.Shards->SlowestSeconds},
          {"mean_seconds", Summary.Shards->MeanSeconds}};
}

} // namespace

json SweepDocument(const SweepReport& Report) {
  const SweepSummary summary = Summarize(Report);
  json doc;
  doc["command"] = "sweep";
  doc["module"] = Report.Module;
  doc["sweep"] = Report.Sweep;
  doc["shard"] = ShardJson(Report.Shard);
  doc["merged"] = MergedJson(Report, summary);
  doc["targets"] = TargetsJson(Report, summary);
  doc["kinds"] = KindsJson(summary);
  doc["returned"] = ReturnedJson(summary);
  doc["points"] = PointsJson(Report);
  doc["failures"] = FailuresJson(Report, summary);
  doc["stack"] = StackJson(Report, summary);
  doc["seconds"] = Report.Seconds;
  doc["jobs"] = Report.Jobs;
  doc["passed"] = summary.Totals.Passed;
  doc["no_effect"] = summary.Totals.NoEffect;
  doc["struck"] = summary.Totals.Struck;
  doc["failed"] = summary.Totals.Failed;
  return doc;
}

} // namespace boardsim

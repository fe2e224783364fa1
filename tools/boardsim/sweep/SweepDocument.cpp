#include "tools/boardsim/sweep/SweepDocument.h"

#include "tools/boardsim/sweep/SweepSummary.h"
#include "tools/run/PmicSlots.h"

#include <map>

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

[[noreturn]] void Malformed(const std::string& What) {
  throw SweepDocumentError(What);
}

std::string TextOf(const json& Value) {
  return Value.is_null() ? std::string() : Value.get<std::string>();
}

PointClass ClassOf(const json& Name) {
  const std::optional<PointClass> named = ClassNamed(Name.get<std::string>());
  if (!named) {
    Malformed("an unknown class " + Name.dump());
  }
  return *named;
}

SweepTarget TargetOf(const json& Target) {
  SweepTarget target{Target.at("board").get<std::string>(), {}, std::nullopt};
  const std::string run = Target.at("run").get<std::string>();
  if (run != "boot") {
    const std::optional<size_t> slot = tools::FindSlot(run);
    if (!slot) {
      Malformed("an unknown run '" + run + "'");
    }
    const size_t values = tools::PmicSlots[*slot].Signature().ValueCount();
    target.Slot = tools::SlotRequest{*slot, std::vector<uint8_t>(values, 0)};
  }
  return target;
}

PointResult ResultOf(const json& Point) {
  PointResult result{
      ClassOf(Point.at("class")), TextOf(Point.at("returned")), TextOf(Point.at("detail")), {}, {}};
  if (const json& struck = Point.at("struck"); !struck.is_null()) {
    result.Struck =
        sim::Strike{{}, struck.at("access").get<uint64_t>(), struck.at("time_ns").get<uint64_t>()};
  }
  result.StrikeMissing = !result.Struck && result.Detail == StrikeMissingDetail;
  for (const json& write : Point.at("bad_writes")) {
    result.BadWrites.push_back({write.at("kind") == "stray" ? sim::BadWriteKind::Stray
                                                            : sim::BadWriteKind::BuiltOnFailedRead,
                                write.at("seq").get<uint64_t>(),
                                write.at("write").get<std::string>()});
  }
  return result;
}

sim::FaultKind KindOf(const json& Name) {
  const sim::FaultKindInfo* info = sim::FindFaultKind(Name.get<std::string>());
  if (info == nullptr) {
    Malformed("an unknown fault kind " + Name.dump());
  }
  return info->Kind;
}

// The points of each kind the target's fault-free run lists; the points tried are counted again
// from the points themselves.
std::map<sim::FaultKind, size_t> ListedOf(const json& Target, size_t Index) {
  std::map<sim::FaultKind, size_t> listed;
  for (const json& cell : Target.at("by_kind")) {
    const sim::FaultKind kind = KindOf(cell.at("kind"));
    const size_t count = cell.at("listed").get<size_t>();
    if (count == 0 || !listed.emplace(kind, count).second) {
      Malformed("target " + std::to_string(Index) + " has kind " + cell.at("kind").dump() +
                (count == 0 ? " with no point listed" : " twice"));
    }
  }
  return listed;
}

void ReadTargets(const json& Document, SweepReport& Report) {
  for (const json& target : Document.at("targets")) {
    Report.Targets.push_back(TargetOf(target));
    Report.References.push_back({ClassOf(target.at("reference")),
                                 TextOf(target.at("returned")),
                                 TextOf(target.at("detail")),
                                 {},
                                 {}});
    Report.Listed.push_back(ListedOf(target, Report.Listed.size()));
  }
  for (const json& kind : Document.at("kinds")) {
    Report.Kinds.push_back(KindOf(kind.at("kind")));
  }
}

void ReadPoints(const json& Document, SweepReport& Report) {
  for (const json& point : Document.at("points")) {
    const size_t target = point.at("target").get<size_t>();
    if (target >= Report.Targets.size()) {
      Malformed("a point of target " + std::to_string(target) + ", which is not there");
    }
    try {
      Report.Points.push_back({target, sim::ParseFaultPoint(point.at("fault").get<std::string>())});
    } catch (const std::invalid_argument& refused) {
      Malformed(std::string("a point that does not parse: ") + refused.what());
    }
    Report.Results.push_back(ResultOf(point));
  }
  // The failures are listed in the order of their points, each with its command.
  Report.Reproduce.resize(Report.Points.size());
  const json& failures = Document.at("failures");
  size_t next = 0;
  for (size_t i = 0; i < Report.Points.size(); ++i) {
    if (Report.Results[i].Failed()) {
      if (next == failures.size()) {
        Malformed("fewer failures listed than points that failed");
      }
      Report.Reproduce[i] = failures.at(next++).at("reproduce").get<std::string>();
    }
  }
  if (const json& stack = Document.at("stack"); !stack.is_null()) {
    Report.Results.at(stack.at("point").get<size_t>()).StackUsed =
        stack.at("deepest_bytes").get<uint32_t>();
  }
}

std::optional<ShardPart> ShardOf(const json& Shard) {
  if (Shard.is_null()) {
    return std::nullopt;
  }
  return ShardPart{
      Shard.at("index").get<unsigned>(),      Shard.at("count").get<unsigned>(),
      Shard.at("total_points").get<size_t>(), Shard.at("points").get<std::vector<size_t>>(),
      Shard.at("cost").get<uint64_t>(),       Shard.at("total_cost").get<uint64_t>()};
}

} // namespace

SweepReport ReadSweepDocument(const json& Document) {
  if (!Document.is_object() || Document.value("command", "") != "sweep" ||
      !Document.contains("points")) {
    Malformed("not a sweep's --json document");
  }
  try {
    SweepReport report;
    report.Module = Document.at("module").get<std::string>();
    report.Sweep = Document.at("sweep");
    report.Shard = ShardOf(Document.at("shard"));
    ReadTargets(Document, report);
    ReadPoints(Document, report);
    report.Seconds = Document.at("seconds").get<double>();
    report.Jobs = Document.at("jobs").get<unsigned>();
    return report;
  } catch (const nlohmann::json::exception& error) {
    Malformed(std::string("not a whole sweep document: ") + error.what());
  }
}

} // namespace boardsim

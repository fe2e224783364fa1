#include "tools/boardsim/sweep/SweepMerge.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/InputFile.h"
#include "tools/boardsim/sweep/SweepDocument.h"
#include "tools/boardsim/sweep/SweepIdentity.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace boardsim {

namespace {

// A full image sweep's document is some tens of megabytes.
constexpr uint64_t MaxShardDocument = uint64_t{1} << 30;

struct Shard {
  std::string File; // printable
  SweepReport Report;
};

[[noreturn]] void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: --merge: " + Message, tools::ExitBadInput);
}

std::string PartName(const ShardPart& Part) {
  return std::to_string(Part.Index) + "/" + std::to_string(Part.Count);
}

Shard ReadShard(const std::string& Path) {
  Shard shard{tools::Printable(Path), {}};
  try {
    const std::vector<uint8_t> bytes = files::ReadInput(Path, MaxShardDocument, "a sweep document");
    shard.Report = ReadSweepDocument(nlohmann::ordered_json::parse(bytes.begin(), bytes.end()));
  } catch (const files::InputError& error) {
    BadInput(shard.File + ": " + error.what());
  } catch (const nlohmann::json::parse_error& error) {
    BadInput(shard.File + ": not JSON (" + error.what() + ")");
  } catch (const SweepDocumentError& error) {
    BadInput(shard.File + ": " + error.what());
  }
  if (!shard.Report.Shard) {
    BadInput(shard.File + ": not a shard (a sweep run with --shard K/N)");
  }
  return shard;
}

// What two shards list otherwise: their targets, or the points of each kind of the first target
// that differs ("other points for target 3 (variant6, ReadVoltage)").
std::optional<std::string> ListedDifference(const SweepReport& A, const SweepReport& B) {
  if (A.Listed.size() != B.Listed.size()) {
    return "other targets (" + std::to_string(A.Listed.size()) + " against " +
           std::to_string(B.Listed.size()) + ")";
  }
  for (size_t t = 0; t < A.Listed.size(); ++t) {
    if (A.Listed[t] != B.Listed[t]) {
      return "other points for target " + std::to_string(t) + " (" +
             tools::Printable(A.Targets[t].Board, tools::Backslashes::Keep) + ", " +
             A.Targets[t].What() + ")";
    }
  }
  return std::nullopt;
}

// Every shard of the first one's sweep, cut into as many parts, each part once and none missing.
void CheckShards(const std::vector<Shard>& Shards) {
  const Shard& first = Shards.front();
  const unsigned count = first.Report.Shard->Count;
  for (const Shard& shard : Shards) {
    if (const auto differs = IdentityDifference(first.Report.Sweep, shard.Report.Sweep)) {
      BadInput(shard.File + " is a shard of another sweep than " + first.File + " (not the same " +
               *differs + ")");
    }
    if (shard.Report.Shard->Count != count) {
      BadInput(shard.File + " is shard " + PartName(*shard.Report.Shard) + ", " + first.File +
               " shard " + PartName(*first.Report.Shard) + ": the same sweep cut otherwise");
    }
    // Every shard lists the whole sweep's points before taking its part, so all list the same.
    if (const auto differs = ListedDifference(first.Report, shard.Report)) {
      BadInput(shard.File + " and " + first.File + " list " + *differs);
    }
  }
  std::map<unsigned, const Shard*> byIndex;
  for (const Shard& shard : Shards) {
    const auto [at, added] = byIndex.emplace(shard.Report.Shard->Index, &shard);
    if (!added) {
      BadInput(at->second->File + " and " + shard.File + " are both shard " +
               PartName(*shard.Report.Shard));
    }
  }
  std::string missing;
  for (unsigned index = 1; index <= count; ++index) {
    if (!byIndex.contains(index)) {
      missing +=
          (missing.empty() ? "" : ", ") + std::to_string(index) + "/" + std::to_string(count);
    }
  }
  if (!missing.empty()) {
    BadInput((missing.find(',') == std::string::npos ? "shard " : "shards ") + missing +
             " missing");
  }
}

// One shard's points into their places among the whole sweep's.
void PlacePoints(const Shard& From, SweepReport& Whole, std::vector<bool>& Placed) {
  const ShardPart& part = *From.Report.Shard;
  if (part.Points.size() != From.Report.Points.size() || part.TotalPoints != Whole.Points.size()) {
    BadInput(From.File + ": its points and its part of the sweep disagree");
  }
  for (size_t i = 0; i < part.Points.size(); ++i) {
    const size_t at = part.Points[i];
    if (at >= Placed.size() || Placed[at]) {
      BadInput(From.File + ": point " + std::to_string(at) + " is not its own");
    }
    Placed[at] = true;
    Whole.Points[at] = From.Report.Points[i];
    Whole.Results[at] = From.Report.Results[i];
    Whole.Reproduce[at] = From.Report.Reproduce[i];
  }
}

// No target ran more points of a kind than its fault-free run lists.
void CheckListed(const SweepReport& Whole) {
  std::map<std::pair<size_t, sim::FaultKind>, size_t> ran;
  for (const SweepPoint& point : Whole.Points) {
    const size_t count = ++ran[{point.Target, point.Point.Kind}];
    const std::map<sim::FaultKind, size_t>& listed = Whole.Listed.at(point.Target);
    const auto kind = listed.find(point.Point.Kind);
    if (kind == listed.end() || count > kind->second) {
      BadInput("target " + std::to_string(point.Target) + " ran more points of " +
               sim::InfoOf(point.Point.Kind).Name + " than it lists");
    }
  }
}

// The shards in the order of their parts, each checked once already.
SweepReport Assemble(const std::vector<Shard>& Shards) {
  std::vector<const Shard*> ordered(Shards.size());
  for (const Shard& shard : Shards) {
    ordered[shard.Report.Shard->Index - 1] = &shard;
  }
  SweepReport whole = ordered.front()->Report;
  const size_t total = whole.Shard->TotalPoints;
  whole.Shard.reset();
  whole.Points.assign(total, {});
  whole.Results.assign(total, {});
  whole.Reproduce.assign(total, {});
  whole.Seconds = 0;
  whole.Jobs = 1;
  std::vector<bool> placed(total, false);
  for (const Shard* each : ordered) {
    const Shard& shard = *each;
    PlacePoints(shard, whole, placed);
    const ShardPart& part = *shard.Report.Shard;
    whole.Merged.push_back({shard.File, part.Index, part.Points.size(),
                            part.TotalCost == 0 ? 0.0 : double(part.Cost) / double(part.TotalCost),
                            shard.Report.Seconds, shard.Report.Jobs});
    // Had the shards run at once, the slowest would have ended the sweep.
    whole.Seconds = std::max(whole.Seconds, shard.Report.Seconds);
    whole.Jobs = std::max(whole.Jobs, shard.Report.Jobs);
  }
  if (std::find(placed.begin(), placed.end(), false) != placed.end()) {
    BadInput("the shards hold fewer than the sweep's " + std::to_string(total) + " points");
  }
  CheckListed(whole);
  return whole;
}

} // namespace

SweepReport MergeShards(const std::vector<std::string>& Files) {
  std::vector<Shard> shards;
  for (const std::string& file : Files) {
    shards.push_back(ReadShard(file));
  }
  CheckShards(shards);
  return Assemble(shards);
}

} // namespace boardsim

// What a sweep shows: a table by fault kind (points tried and what came of them), the statuses
// the runs returned, every failure with the command that reproduces it alone, and the closing
// count; as text or as one JSON document (tools/boardsim/schema/sweep.schema.json).
#pragma once

#include "tools/boardsim/render/Junit.h"
#include "tools/boardsim/sweep/SweepRun.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace boardsim {

struct SweepPoint {
  size_t Target;
  sim::FaultPoint Point;
};

// The part of a sweep one shard ran (--shard K/N): its points' places among the whole sweep's,
// and their expected cost (each point's, its reference run's accesses) against the whole's.
struct ShardPart {
  unsigned Index = 1;
  unsigned Count = 1;
  size_t TotalPoints = 0;
  std::vector<size_t> Points; // ascending
  uint64_t Cost = 0;
  uint64_t TotalCost = 0;
};

// A shard a merge was made from, and how long it took.
struct MergedShard {
  std::string File;
  unsigned Index = 1;
  size_t Points = 0;
  double CostShare = 0; // of the whole sweep's expected cost
  double Seconds = 0;
  unsigned Jobs = 1;
};

struct SweepReport {
  std::string Module;              // "host build" or "image <path>"
  nlohmann::ordered_json Sweep;    // which sweep (sweep/SweepIdentity.h)
  std::optional<ShardPart> Shard;  // a shard's; none for a whole or merged sweep
  std::vector<MergedShard> Merged; // a merge's shards; their times are the merge's
  std::vector<SweepTarget> Targets;
  std::vector<PointResult> References; // per target
  // Per target, the points of each kind its fault-free run lists, before --sample and --shard
  // pick from them: what tells a cell no point was drawn for from one the run never reaches.
  std::vector<std::map<sim::FaultKind, size_t>> Listed;
  std::vector<sim::FaultKind> Kinds;
  std::vector<SweepPoint> Points;
  std::vector<PointResult> Results; // per point
  unsigned Jobs = 1;
  double Seconds = 0;
  std::vector<std::string> Reproduce; // per point, filled for failures only

  // Failed reference runs and failed points (none before the points have run).
  size_t Failed() const;
};

// The text (sweep/SweepText.cpp) and the document (sweep/SweepJson.cpp), each rendered from the
// report's one summary (sweep/SweepSummary.h).
void PrintSweep(std::ostream& Out, const SweepReport& Report);

// --list-points: each target's command, then the points its fault-free run reached, one a line
// and ready for --fault, leaving out those the board cannot carry. A reference run that did not
// return is named as the sweep names it, with no points.
void PrintPointList(std::ostream& Out, const SweepReport& Report, bool Host,
                    const std::optional<std::string>& ImagePath,
                    const std::optional<std::string>& MapPath, bool Json);
// Each target also counts its points and failures by kind: the matrix of a page.
nlohmann::ordered_json SweepDocument(const SweepReport& Report);

// --junit (sweep/SweepJunit.cpp): one suite per target, whose test cases are its reference run and
// each kind swept (skipped where the reference reached no point of it); a kind fails with its
// failed points, each with the command that reproduces it.
std::vector<JunitSuite> SweepJunit(const SweepReport& Report);

} // namespace boardsim

// What a sweep found, counted once from its report: the table by kind, what the points returned,
// why points did not run, the failures, the deepest stack and the totals. The text, the JSON
// document and the page (which draws that document) all render this one value.
#pragma once

#include "tools/boardsim/sweep/SweepReport.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// One kind's points and what came of them.
struct KindTally {
  sim::FaultKind Kind = sim::FaultKind::ByteRefused;
  size_t Listed = 0; // by the fault-free runs, before --sample and --shard pick from them
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

// What the points of one kind returned in one run (a boot, or a slot), one value each: how many
// points, and the first of them, so that a value leads back to a point.
struct ReturnedRow {
  sim::FaultKind Kind = sim::FaultKind::ByteRefused;
  std::string Run; // "boot" or the slot's name
  std::string Value;
  size_t Points = 0;
  size_t First = 0; // index into the report's points
};

// The points of one kind at one target: listed by its fault-free run, tried, failed, struck and
// with no effect (the page's matrix has no points of its own to count them from). A cell with
// points listed and none tried is one --sample or --shard left out, not one the run never reaches.
struct CellCounts {
  size_t Listed = 0;
  size_t Points = 0;
  size_t Failed = 0;
  size_t Struck = 0;
  size_t NoEffect = 0;
};

// A target's points, and its cells by kind: a row of the page's matrix. A kind has a cell where
// the target's fault-free run lists a point of it.
struct TargetCells {
  size_t Points = 0;
  std::map<sim::FaultKind, CellCounts> ByKind;
};

struct SweepTotals {
  size_t Points = 0;
  size_t Run = 0; // the points less those not run
  // A point passes only where its fault struck, changed the run and the module behaved.
  size_t Passed = 0;
  size_t NoEffect = 0;
  size_t Struck = 0;
  size_t Failed = 0; // failed points and failed reference runs
};

// A merge's shards: the slowest against the mean, in seconds.
struct ShardTimes {
  size_t Slowest = 0; // index into the report's merged shards
  double SlowestSeconds = 0;
  double MeanSeconds = 0;
};

struct SweepSummary {
  size_t Boots = 0;
  std::vector<KindTally> Kinds; // in the order the sweep was asked for them
  std::vector<ReturnedRow> Returned;
  std::map<std::string, size_t> NotRun; // why, and how many points
  std::vector<size_t> Failures;         // indexes into the report's points
  std::vector<TargetCells> Targets;
  std::optional<size_t> DeepestStack; // the point whose run went deepest (image only)
  SweepTotals Totals;
  std::optional<ShardTimes> Shards; // a merge's
};

SweepSummary Summarize(const SweepReport& Report);

// Names as the text and the document give them.
const char* ClassName(PointClass Class);
// The class a name gives; nothing for a name that is none.
std::optional<PointClass> ClassNamed(std::string_view Name);
const char* BadWriteName(sim::BadWriteKind Kind);
// Why a failed point or reference run failed, in one line.
std::string WhyFailed(const PointResult& Result);

} // namespace boardsim

// What a sweep shows: a table by fault kind (points tried and what came of them), the statuses
// the runs returned, every failure with the command that reproduces it alone, and the closing
// count; as text or as one JSON document (tools/boardsim/schema/sweep.schema.json).
#pragma once

#include "tools/boardsim/sweep/SweepRun.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace boardsim {

struct SweepPoint {
  size_t Target;
  sim::FaultPoint Point;
};

struct SweepReport {
  std::string Module; // "host build" or "image <path>"
  std::vector<SweepTarget> Targets;
  std::vector<PointResult> References; // per target
  std::vector<sim::FaultKind> Kinds;
  std::vector<SweepPoint> Points;
  std::vector<PointResult> Results; // per point
  unsigned Jobs = 1;
  double Seconds = 0;
  std::vector<std::string> Reproduce; // per point, filled for failures only

  size_t Failed() const;
  size_t NotRun() const;
};

void PrintSweep(std::ostream& Out, const SweepReport& Report);
// Each target also counts its points and failures by kind: the matrix of a page.
nlohmann::ordered_json SweepDocument(const SweepReport& Report);

} // namespace boardsim

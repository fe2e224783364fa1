// --sample and --seed: which points a sampled sweep tries. Every machine that runs the same sweep
// draws the same points, so the shards of a sampled sweep split one draw between them.
#pragma once

#include "tools/boardsim/sweep/SweepReport.h"

#include <cstdint>
#include <vector>

namespace boardsim {

// About Wanted points in all (every point when Wanted is 0 or not below their count), each kind
// keeping its share and at least one. A kind's points are cut into as many stretches as its share,
// of even length, and one point is taken from each: the first with Seed 0, one that Seed chooses
// otherwise. The sample holds the points of each kind in turn, each kind's in their order.
std::vector<SweepPoint> SamplePoints(const std::vector<SweepPoint>& Points, size_t Wanted,
                                     uint64_t Seed);

} // namespace boardsim

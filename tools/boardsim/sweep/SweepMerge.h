// --merge: the shards' --json documents put back together into the report the whole sweep would
// have made, so that the text, the document and the page come out as the unsharded sweep's (the
// times apart: a merge takes the slowest shard's time as its own, and lists each shard's).
#pragma once

#include "tools/boardsim/sweep/SweepReport.h"

#include <string>
#include <vector>

namespace boardsim {

// Bad input (tools::ToolError, exit 2), in one line: a file that is not a shard's document, shards
// of different sweeps (naming what differs) or cut into different numbers of parts, shards whose
// targets list other points, a shard given twice, a shard missing (naming which), a target that
// ran more points of a kind than it lists.
SweepReport MergeShards(const std::vector<std::string>& Files);

} // namespace boardsim

// Where a fault point can first make a run differ from its board's fault-free run. Up to there the
// faulted board does what the fault-free one did, access for access, so a checkpoint of the
// fault-free run taken before it, restored on the faulted board, runs on exactly as the faulted
// board would from reset: the sweep starts each point there instead of at the reset.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/FaultPoint.h"
#include "sim/Trace.h"

#include <cstdint>
#include <map>
#include <span>

namespace sim {

class FaultStrikes {
public:
  // Reference: the accesses the fault-free run of Board kept (every access but repeated reads at
  // least: each register's first read must be there).
  FaultStrikes(const BoardConfig& Board, std::span<const Access> Reference);

  // True when a fault-free run whose board reached State has not met Point yet. The answer only
  // turns from true to false as the run goes on. A point that changes the HOB list strikes before
  // the first instruction (the list is in memory before the run starts).
  bool Before(const FaultPoint& Point, const BoardState& State) const;

private:
  const BoardConfig& board_;
  std::map<uint32_t, uint64_t> firstRead_; // memory-mapped register -> sequence of its first read
};

} // namespace sim

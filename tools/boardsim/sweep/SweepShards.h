// --shard K/N: the points of one sweep cut into N disjoint parts that together are all of them,
// so that N machines each run one and a merge (sweep/SweepMerge.h) gives the whole sweep. Every
// shard works the parts out for itself from the same points and costs, so they need no
// coordinator.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace boardsim {

struct ShardChoice {
  unsigned Index = 1; // K, from 1
  unsigned Count = 1; // N
};

// At most this many shards: far more machines than any campaign has.
constexpr unsigned MaxShards = 100'000;

// "K/N" with 1 <= K <= N <= MaxShards, in decimal; nothing for anything else.
std::optional<ShardChoice> ParseShard(std::string_view Text);

// The items of each of Count parts, by index in ascending order, balanced by expected cost: the
// items are dealt dearest first (the earlier of equals first), each to the part that has the least
// cost so far (the lower of equals). No part then exceeds the mean by more than the dearest item.
std::vector<std::vector<size_t>> SplitByCost(const std::vector<uint64_t>& Costs, unsigned Count);

} // namespace boardsim

// How a sweep's points are cut into shards and drawn by --sample and --seed.
#include "tools/boardsim/sweep/SweepShards.h"
#include "tools/boardsim/sweep/SweepSample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using boardsim::SweepPoint;

struct SplitCase {
  const char* Name;
  std::vector<uint64_t> Costs;
  unsigned Count;
};

// Every item in exactly one part, each part in ascending order, and no part dearer than the mean
// by more than the dearest item.
TEST(SweepShardsTest, PartsAreDisjointCompleteAndBalancedByCost) {
  std::vector<uint64_t> mixed;
  for (uint64_t i = 0; i < 200; ++i) {
    mixed.push_back(i % 7 == 0 ? 100'000 : 1'000 + i % 13); // boots among slot calls
  }
  const SplitCase cases[] = {
      {"one part", {5, 1, 3}, 1},
      {"more parts than items", {5, 1}, 4},
      {"no items", {}, 3},
      {"equal costs", std::vector<uint64_t>(10, 7), 3},
      {"boots and slot calls", mixed, 3},
      {"boots and slot calls, many parts", mixed, 17},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto parts = boardsim::SplitByCost(c.Costs, c.Count);
    ASSERT_EQ(parts.size(), c.Count);
    std::vector<size_t> seen;
    uint64_t dearestPart = 0;
    for (const auto& part : parts) {
      EXPECT_TRUE(std::is_sorted(part.begin(), part.end()));
      seen.insert(seen.end(), part.begin(), part.end());
      uint64_t cost = 0;
      for (const size_t i : part) {
        cost += c.Costs[i];
      }
      dearestPart = std::max(dearestPart, cost);
    }
    std::sort(seen.begin(), seen.end());
    std::vector<size_t> all(c.Costs.size());
    std::iota(all.begin(), all.end(), size_t{0});
    EXPECT_EQ(seen, all);
    const uint64_t total = std::accumulate(c.Costs.begin(), c.Costs.end(), uint64_t{0});
    const uint64_t dearest =
        c.Costs.empty() ? 0 : *std::max_element(c.Costs.begin(), c.Costs.end());
    EXPECT_LE(dearestPart, total / c.Count + dearest);
  }
}

TEST(SweepShardsTest, ShardIsKOfN) {
  const std::pair<const char*, bool> cases[] = {
      {"1/1", true},   {"2/3", true},   {"3/3", true},       {"100000/100000", true},
      {"0/3", false},  {"4/3", false},  {"1/0", false},      {"3", false},
      {"/3", false},   {"1/", false},   {"-1/3", false},     {"0x1/3", false},
      {"1/3/", false}, {" 1/3", false}, {"1/100001", false}, {"1/3 ", false},
  };
  for (const auto& [text, valid] : cases) {
    const auto shard = boardsim::ParseShard(text);
    EXPECT_EQ(shard.has_value(), valid) << text;
  }
  const auto shard = boardsim::ParseShard("2/3");
  ASSERT_TRUE(shard);
  EXPECT_EQ(shard->Index, 2u);
  EXPECT_EQ(shard->Count, 3u);
}

// 90 points of one kind and 10 of another, each with its own address.
std::vector<SweepPoint> TwoKinds() {
  std::vector<SweepPoint> points;
  for (uint32_t i = 0; i < 100; ++i) {
    points.push_back({0, {i < 90 ? sim::FaultKind::ByteRefused : sim::FaultKind::BusStalled, i}});
  }
  return points;
}

std::vector<uint32_t> Drawn(size_t Wanted, uint64_t Seed) {
  std::vector<uint32_t> where;
  for (const SweepPoint& point : boardsim::SamplePoints(TwoKinds(), Wanted, Seed)) {
    where.push_back(point.Point.Where);
  }
  return where;
}

TEST(SweepShardsTest, SeedChoosesOnePointInEachStretch) {
  // Seed 0 takes each stretch's first point: the even spread.
  EXPECT_EQ(Drawn(10, 0), (std::vector<uint32_t>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
  EXPECT_EQ(Drawn(0, 5).size(), 100u);
  for (const uint64_t seed : {1u, 2u, 77u}) {
    const std::vector<uint32_t> drawn = Drawn(10, seed);
    EXPECT_EQ(drawn, Drawn(10, seed)) << "the same seed draws the same points";
    ASSERT_EQ(drawn.size(), 10u);
    for (size_t i = 0; i < 9; ++i) {
      EXPECT_EQ(drawn[i] / 10, i) << "stretch " << i << " of the first kind";
    }
    EXPECT_EQ(drawn[9] / 10, 9u) << "the second kind keeps its one point";
  }
  EXPECT_NE(Drawn(10, 1), Drawn(10, 2));
  EXPECT_NE(Drawn(10, 1), Drawn(10, 0));
}

} // namespace

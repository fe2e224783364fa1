#include "tools/boardsim/sweep/SweepShards.h"

#include "common/Numbers.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <queue>
#include <utility>

namespace boardsim {

std::optional<ShardChoice> ParseShard(std::string_view Text) {
  const size_t slash = Text.find('/');
  if (slash == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view index = Text.substr(0, slash);
  const std::string_view count = Text.substr(slash + 1);
  // Decimal only: a shard's number is no address.
  const auto decimal = [](std::string_view Digits) {
    return !Digits.empty() && Digits.find_first_not_of("0123456789") == std::string_view::npos
               ? tools::ParseNumber(Digits, MaxShards)
               : std::nullopt;
  };
  const std::optional<uint64_t> k = decimal(index);
  const std::optional<uint64_t> n = decimal(count);
  if (!k || !n || *k == 0 || *k > *n) {
    return std::nullopt;
  }
  return ShardChoice{static_cast<unsigned>(*k), static_cast<unsigned>(*n)};
}

std::vector<std::vector<size_t>> SplitByCost(const std::vector<uint64_t>& Costs, unsigned Count) {
  std::vector<std::vector<size_t>> parts(std::max(1u, Count));
  std::vector<size_t> order(Costs.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t A, size_t B) { return Costs[A] > Costs[B]; });
  // The part with the least cost so far on top, the lower of equals first.
  using Load = std::pair<uint64_t, size_t>;
  std::priority_queue<Load, std::vector<Load>, std::greater<>> loads;
  for (size_t part = 0; part < parts.size(); ++part) {
    loads.push({0, part});
  }
  for (const size_t item : order) {
    const auto [cost, part] = loads.top();
    loads.pop();
    parts[part].push_back(item);
    loads.push({cost + Costs[item], part});
  }
  for (std::vector<size_t>& part : parts) {
    std::sort(part.begin(), part.end());
  }
  return parts;
}

} // namespace boardsim

#include "tools/boardsim/sweep/SweepSample.h"

#include <algorithm>
#include <map>

namespace boardsim {

namespace {

// SplitMix64's finaliser: every bit of the seed, the kind and the stretch reaches every bit of the
// choice, with nothing that differs between machines or standard libraries.
uint64_t Mix(uint64_t Value) {
  Value = (Value ^ (Value >> 30)) * 0xBF58476D1CE4E5B9ull;
  Value = (Value ^ (Value >> 27)) * 0x94D049BB133111EBull;
  return Value ^ (Value >> 31);
}

size_t Chosen(uint64_t Seed, sim::FaultKind Kind, size_t Stretch, size_t Length) {
  if (Seed == 0 || Length <= 1) {
    return 0;
  }
  const uint64_t key = Mix(Seed) ^ Mix((uint64_t{static_cast<uint8_t>(Kind)} << 48) ^ Stretch);
  return static_cast<size_t>(Mix(key) % Length);
}

} // namespace

std::vector<SweepPoint> SamplePoints(const std::vector<SweepPoint>& Points, size_t Wanted,
                                     uint64_t Seed) {
  if (Wanted == 0 || Wanted >= Points.size()) {
    return Points;
  }
  std::map<sim::FaultKind, std::vector<size_t>> byKind;
  for (size_t i = 0; i < Points.size(); ++i) {
    byKind[Points[i].Point.Kind].push_back(i);
  }
  std::vector<size_t> kept;
  for (const auto& [kind, points] : byKind) {
    const size_t share = std::max<size_t>(1, points.size() * Wanted / Points.size());
    for (size_t i = 0; i < share; ++i) {
      const size_t first = i * points.size() / share;
      const size_t length = (i + 1) * points.size() / share - first;
      kept.push_back(points[first + Chosen(Seed, kind, i, length)]);
    }
  }
  std::vector<SweepPoint> sample;
  for (const size_t i : kept) {
    sample.push_back(Points[i]);
  }
  return sample;
}

} // namespace boardsim

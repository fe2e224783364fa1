#include "tools/boardsim/analysis/BusHolds.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace boardsim {

namespace {

template <typename T, typename Keep>
std::vector<T> Filtered(const std::vector<T>& Items, Keep Predicate) {
  std::vector<T> kept;
  std::copy_if(Items.begin(), Items.end(), std::back_inserter(kept), Predicate);
  return kept;
}

} // namespace

uint64_t HoldStart(const sim::decode::SemaphoreHold& H) {
  return H.Requested ? H.RequestNs : H.AcquireNs;
}

const sim::decode::SemaphoreHold* HoldOf(const sim::decode::BusActivity& Bus, uint64_t Time) {
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    if (hold.Granted && hold.AcquireNs <= Time && (!hold.Released || Time < hold.ReleaseNs)) {
      return &hold;
    }
  }
  return nullptr;
}

bool UnderSemaphore(const sim::decode::BusActivity& Bus, uint64_t Time) {
  return HoldOf(Bus, Time) != nullptr;
}

bool ReleasedOnTheWire(const sim::decode::SemaphoreHold& Hold, const WireEnds& Wire,
                       uint64_t Time) {
  const auto end = Wire.find(Time);
  return Hold.Released && end != Wire.end() && Hold.ReleaseNs < end->second;
}

sim::decode::BusActivity BusActivityBetween(const sim::decode::BusActivity& Bus, uint64_t FromNs,
                                            uint64_t ToNs) {
  auto within = [&](uint64_t Time) { return Time >= FromNs && Time < ToNs; };
  return {Filtered(Bus.I2c, [&](const auto& T) { return within(T.TimeNs); }),
          Filtered(Bus.Sideband, [&](const auto& M) { return within(M.TimeNs); }),
          Filtered(Bus.Holds, [&](const auto& H) { return within(HoldStart(H)); })};
}

} // namespace boardsim

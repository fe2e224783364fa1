#include "emu/Timeline.h"

#include <algorithm>
#include <set>

namespace emu {

namespace {
constexpr uint64_t Never = ~uint64_t{0};

// Sorted with the earliest last, so the next one is popped off the back.
std::vector<uint64_t> Pending(std::vector<uint64_t> Values) {
  std::sort(Values.begin(), Values.end(), std::greater<>());
  return Values;
}
} // namespace

Timeline::Timeline(uint64_t Every, std::vector<uint64_t> AtAccesses,
                   std::vector<uint64_t> AtTimesNs)
    : every_(Every), nextEvery_(Every != 0 ? 0 : Never),
      atAccesses_(Pending(std::move(AtAccesses))), atTimesNs_(Pending(std::move(AtTimesNs))) {}

uint64_t Timeline::NextAccess() const {
  return std::min(nextEvery_, atAccesses_.empty() ? Never : atAccesses_.back());
}

uint64_t Timeline::NextTimeNs() const {
  return atTimesNs_.empty() ? Never : atTimesNs_.back();
}

void Timeline::Taken(Checkpoint C) {
  // One checkpoint answers every wish it has passed.
  while (!atAccesses_.empty() && atAccesses_.back() <= C.Access()) {
    atAccesses_.pop_back();
  }
  while (!atTimesNs_.empty() && atTimesNs_.back() <= C.TimeNs()) {
    atTimesNs_.pop_back();
  }
  if (every_ != 0 && C.Access() >= nextEvery_) {
    nextEvery_ = C.Access() + every_;
  }
  marks_.push_back(std::move(C));
}

void Timeline::Returned(const CallResult& Result, Checkpoint End) {
  calls_.push_back({Result, std::move(End)});
}

const Checkpoint* Timeline::Latest(const std::function<bool(const Checkpoint&)>& Before) const {
  const auto after = std::partition_point(marks_.begin(), marks_.end(), Before);
  return after == marks_.begin() ? nullptr : &*(after - 1);
}

size_t Timeline::Bytes() const {
  size_t bytes = kept_.size() * sizeof(sim::Access);
  std::set<const RamImage*> origins;
  const auto add = [&](const Checkpoint& C) {
    bytes += C.Bytes();
    if (C.Origin && origins.insert(C.Origin.get()).second) {
      bytes += C.Origin->size() * PageSize;
    }
  };
  for (const Checkpoint& mark : marks_) {
    add(mark);
  }
  for (const CallEnd& end : calls_) {
    add(end.End);
  }
  return bytes;
}

} // namespace emu

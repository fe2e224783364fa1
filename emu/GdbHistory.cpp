#include "emu/GdbHistory.h"

#include <algorithm>

namespace emu {

namespace {

uint64_t Position(const Checkpoint& C) {
  return C.Runner.Instructions;
}

std::string Mebibytes(uint64_t Bytes) {
  const uint64_t tenths = (Bytes * 10 + (1 << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB";
}

std::string Line(const Checkpoint& C) {
  return "instruction " + std::to_string(Position(C)) + ", access " + std::to_string(C.Access()) +
         ", " + std::to_string(C.TimeNs()) + " ns, " + std::to_string(C.Bytes()) + " bytes\n";
}

// Lines shown at each end of a long list.
constexpr size_t ListedAtEachEnd = 8;

} // namespace

void GdbHistory::Begin(Checkpoint Start) {
  start_ = std::move(Start);
  ring_.clear();
  ringBytes_ = 0;
}

const Checkpoint& GdbHistory::AtOrBefore(uint64_t At) const {
  const auto after =
      std::upper_bound(ring_.begin(), ring_.end(), At,
                       [](uint64_t P, const Checkpoint& C) { return P < Position(C); });
  return after == ring_.begin() ? *start_ : *(after - 1);
}

std::vector<const Checkpoint*> GdbHistory::Backward(uint64_t At) const {
  std::vector<const Checkpoint*> found;
  for (auto it = ring_.rbegin(); it != ring_.rend(); ++it) {
    if (Position(*it) < At) {
      found.push_back(&*it);
    }
  }
  found.push_back(&*start_);
  return found;
}

const Checkpoint& GdbHistory::BeforeAccess(uint64_t Access) const {
  for (auto it = ring_.rbegin(); it != ring_.rend(); ++it) {
    if (it->Access() <= Access) {
      return *it;
    }
  }
  return *start_;
}

const Checkpoint& GdbHistory::BeforeTime(uint64_t TimeNs) const {
  for (auto it = ring_.rbegin(); it != ring_.rend(); ++it) {
    if (it->TimeNs() < TimeNs) {
      return *it;
    }
  }
  return *start_;
}

uint64_t GdbHistory::NextAccess() const {
  if (!On() || !start_) {
    return ~uint64_t{0};
  }
  return Latest().Access() + settings_.EveryAccesses;
}

void GdbHistory::Taken(Checkpoint C) {
  // A stretch run again after going back passes checkpoints the ring already has.
  if (!On() || !start_ || Position(C) <= Position(Latest())) {
    return;
  }
  ringBytes_ += C.Bytes();
  ring_.push_back(std::move(C));
  const uint64_t bound = std::min(settings_.MemoryBytes, memoryLimit_.value_or(~uint64_t{0}));
  while (ringBytes_ > bound && !ring_.empty()) {
    ringBytes_ -= ring_.front().Bytes();
    ring_.pop_front();
    dropped_ = true;
  }
}

bool GdbHistory::OutOfMemory() {
  if (!On() || ring_.empty()) {
    return false;
  }
  memoryLimit_ = ringBytes_ / 2;
  const size_t keep = ring_.size() / 2;
  while (ring_.size() > keep) {
    ringBytes_ -= ring_.front().Bytes();
    ring_.pop_front();
  }
  ring_.shrink_to_fit();
  dropped_ = true;
  told_ = false;
  return true;
}

std::optional<std::string> GdbHistory::TakeNote() {
  if (!dropped_ || told_) {
    return std::nullopt;
  }
  told_ = true;
  if (memoryLimit_) {
    return "boardsim: out of memory after keeping " + Mebibytes(*memoryLimit_ * 2) +
           " of checkpoints, below the " + Mebibytes(settings_.MemoryBytes) +
           " --checkpoint-memory allows: the older half is let go and at most " +
           Mebibytes(*memoryLimit_) +
           " kept from now on (a smaller --checkpoint-memory or a larger --checkpoint-every "
           "keeps fewer)\n";
  }
  return "boardsim: the checkpoints reached their bound of " + Mebibytes(settings_.MemoryBytes) +
         "; the oldest are let go from now on, and going back past them runs again from the "
         "start of the call\n";
}

std::string GdbHistory::Describe() const {
  if (!On()) {
    return settings_.NoneKept + ": reverse execution is off\n";
  }
  if (!start_) {
    return "no call has begun yet\n";
  }
  std::string text = std::to_string(ring_.size() + 1) + " checkpoints, one every " +
                     std::to_string(settings_.EveryAccesses) + " accesses, " +
                     Mebibytes(ringBytes_ + start_->Bytes()) + " of at most " +
                     Mebibytes(settings_.MemoryBytes) + (dropped_ ? " (the oldest let go)" : "") +
                     "\n  start: " + Line(*start_);
  for (size_t i = 0; i < ring_.size(); ++i) {
    if (i == ListedAtEachEnd && ring_.size() > 2 * ListedAtEachEnd) {
      text += "  ... " + std::to_string(ring_.size() - 2 * ListedAtEachEnd) + " more\n";
      i = ring_.size() - ListedAtEachEnd - 1;
      continue;
    }
    text += "  " + Line(ring_[i]);
  }
  return text;
}

} // namespace emu

// What the GDB server keeps to go back in the call it debugs: the call's first checkpoint, for the
// whole call, and a ring of later ones taken every so many accesses, bounded by memory (the oldest
// go first). Places in the call are counted in instructions executed since it began; going back to
// one restores the last checkpoint at or before it and runs forward from there.
#pragma once

#include "emu/Checkpoint.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace emu {

struct HistorySettings {
  uint64_t EveryAccesses = 1000;
  uint64_t MemoryBytes = uint64_t{256} << 20; // 0: no checkpoints, no going back
  // What GDB is told when none are kept and it asks to go back or what is kept; the tool that
  // set MemoryBytes adds how the user asked for none.
  std::string NoneKept = "no checkpoints are kept";
};

class GdbHistory final : public CheckpointRecorder {
public:
  explicit GdbHistory(HistorySettings Settings) : settings_(std::move(Settings)) {}

  bool On() const { return settings_.MemoryBytes != 0; }
  const HistorySettings& Settings() const { return settings_; }

  // A call begins, or GDB changed the machine (the run before the change is not the run that
  // follows it): Start is kept until the next.
  void Begin(Checkpoint Start);
  bool Begun() const { return start_.has_value(); }
  const Checkpoint& Start() const { return *start_; }

  // The last checkpoint at or before instruction Position of the call.
  const Checkpoint& AtOrBefore(uint64_t Position) const;
  // The checkpoints before Position, the latest first: where a search backward starts each stretch.
  std::vector<const Checkpoint*> Backward(uint64_t Position) const;
  // The last checkpoint taken before the board made its Access'th access, and the last before its
  // clock reached TimeNs.
  const Checkpoint& BeforeAccess(uint64_t Access) const;
  const Checkpoint& BeforeTime(uint64_t TimeNs) const;

  // `monitor checkpoints`.
  std::string Describe() const;
  // Said once, the first time the ring let its oldest checkpoints go.
  std::optional<std::string> TakeNote();

  uint64_t NextAccess() const override;
  uint64_t NextTimeNs() const override { return ~uint64_t{0}; }
  void Taken(Checkpoint C) override;
  // Lets the older half of the ring go and keeps the ring below what it held from then on.
  bool OutOfMemory() override;
  void Returned(const CallResult&, Checkpoint) override {}

private:
  const Checkpoint& Latest() const { return ring_.empty() ? *start_ : ring_.back(); }

  HistorySettings settings_;
  std::optional<Checkpoint> start_;
  std::deque<Checkpoint> ring_; // after the start, in the call's order
  uint64_t ringBytes_ = 0;
  bool dropped_ = false;
  bool told_ = false;
  std::optional<uint64_t> memoryLimit_; // what the ring held when memory ran out, if it did
};

} // namespace emu

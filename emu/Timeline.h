// The checkpoints of one run: one every so many accesses (or at chosen accesses and times), and one
// at each call's return with what the call returned. A later run on another board built the same
// way starts part-way through this one by replaying it up to a checkpoint (the sweep starts each
// fault point where the fault-free run was just before the fault could strike).
#pragma once

#include "emu/Checkpoint.h"
#include "emu/Machine.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace emu {

class Timeline final : public CheckpointRecorder {
public:
  // A checkpoint at the first block of the run and then every Every accesses (0: none), and at
  // the first block once each of AtAccesses accesses have been made or each of AtTimesNs reached.
  explicit Timeline(uint64_t Every, std::vector<uint64_t> AtAccesses = {},
                    std::vector<uint64_t> AtTimesNs = {});

  // In the order they were taken.
  const std::vector<Checkpoint>& Marks() const { return marks_; }
  const std::vector<CallEnd>& Calls() const { return calls_; }

  // Keeps the accesses the run's board kept, for restoring on another board; call when the run
  // is over.
  void Finish(const sim::Board& Board) { kept_ = Board.GetTrace().Accesses(); }
  const std::vector<sim::Access>& Kept() const { return kept_; }

  // The last mark for which Before holds, when Before turns from true to false at most once along
  // the run; null when it holds for none.
  const Checkpoint* Latest(const std::function<bool(const Checkpoint&)>& Before) const;

  // Starts the next calls of M, on Board, at Mark: see Machine::Replay.
  void Replay(Machine& M, const Checkpoint& Mark, sim::Board& Board) const {
    M.Replay(calls_, Mark, Board, &kept_);
  }

  // What the checkpoints hold (the RAM the run started with counted once).
  size_t Bytes() const;

  uint64_t NextAccess() const override;
  uint64_t NextTimeNs() const override;
  void Taken(Checkpoint C) override;
  void Returned(const CallResult& Result, Checkpoint End) override;

private:
  uint64_t every_;
  uint64_t nextEvery_ = 0;
  std::vector<uint64_t> atAccesses_; // still to come, the next last
  std::vector<uint64_t> atTimesNs_;
  std::vector<Checkpoint> marks_;
  std::vector<CallEnd> calls_;
  std::vector<sim::Access> kept_;
};

} // namespace emu

// A checkpoint: the whole machine at one moment of a run, between two translated blocks. The CPU's
// registers and flags, every page of RAM a run may write (as the pages that differ from the RAM
// the run started with), the runner's own counters and the board (its devices, clock, budgets
// and trace position). Restored, the run goes on from there byte for byte as it did.
#pragma once

#include "emu/Ram.h"
#include "sim/Board.h"

#include <cstdint>
#include <memory>
#include <vector>

struct uc_context;

namespace emu {

struct CallResult;

// What a run in measuring mode counts, split between busy-waits and the rest. A busy-wait runs
// from a `pause` to the next register access that is not a port read (the module's only port
// reads are of the PM timer): the wait's own timer reads and the instructions around them, up to
// and including the instruction that makes that access. Everything else is the rest.
struct InstructionCounts {
  uint64_t BusyWaitInstructions = 0;
  uint64_t BusyWaitTimerReads = 0;
  uint64_t OtherInstructions = 0;
  uint64_t OtherAccesses = 0; // register accesses outside busy-waits
};

// What the runner counts beside the CPU, for its guards and its measuring mode.
struct RunnerState {
  uint64_t Executed = 0;     // instructions since the last register access, counted by blocks
  uint64_t AccessesSeen = 0; // the board's access count when Executed was last reset
  // A debugger's stop can fall after the pause hook has counted the hint of the `pause` about to
  // run; when that instruction runs on resuming, the hint is not counted again.
  uint64_t PauseCountedAt = 0;
  bool InBusyWait = false;
  InstructionCounts Counts;
  uint32_t CallStack = 0;    // ESP on entry to the call, at its return address
  uint64_t Instructions = 0; // executed in the call so far, where counted (under a debugger)
};

struct Checkpoint {
  size_t Call = 0; // which call of the run it was taken in, from 0
  uint32_t Eip = 0;
  std::shared_ptr<const uc_context> Cpu;
  size_t CpuBytes = 0;
  std::shared_ptr<const RamImage> Origin; // the RAM the run started with
  std::vector<SavedPage> Pages;           // saved pages that differ from Origin, in index order
  RunnerState Runner;
  sim::BoardState Board;

  uint64_t Access() const { return Board.Trace.Count; }
  uint64_t TimeNs() const { return Board.TimeNs; }
  // What it holds of its own: the CPU, the pages and the board's state (devices included).
  size_t Bytes() const;
};

// Where a machine's automatic checkpoints go. The machine takes one at the first block it starts
// once the board has made NextAccess() accesses or its clock has reached NextTimeNs(), and asks
// again after each.
class CheckpointRecorder {
public:
  virtual uint64_t NextAccess() const = 0;
  virtual uint64_t NextTimeNs() const = 0;
  virtual void Taken(Checkpoint C) = 0;
  // Taking a checkpoint ran out of memory: true when the recorder gave some back and the run can
  // go on without that checkpoint, false when it cannot (the allocation's failure goes on up).
  virtual bool OutOfMemory() { return false; }
  // A call returned: End is the machine as it returned.
  virtual void Returned(const CallResult& Result, Checkpoint End) = 0;

protected:
  ~CheckpointRecorder() = default;
};

} // namespace emu

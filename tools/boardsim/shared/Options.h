// The command line of boardsim: the subcommands run, op and decode and their options.
#pragma once

#include "tools/boardsim/shared/PadView.h"
#include "tools/run/SlotCall.h"

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct RunOptions {
  std::string Board = "default";        // a name in the boards folder, or a path to a JSON file
  std::optional<std::string> TracePath; // "-" for standard output
  std::optional<std::string> VcdPath;   // the waveform (Value Change Dump)
  bool Host = false;                    // the host-linked module instead of the image
  std::optional<std::string> ImagePath; // another image than the one the build made
  bool Json = false;                    // the summary as one JSON document
  std::optional<std::string> Gdb;       // [HOST:]PORT: serve GDB's remote protocol there
  uint64_t CheckpointEvery = 1000;      // with --gdb: a checkpoint every so many accesses
  uint64_t CheckpointMemoryMiB = 256;   // and at most this much of them (0: no going back)
  std::optional<std::string> MapPath;   // op: the image's linker map, if not beside it
  std::vector<std::string> Faults;      // fault points (sim/faults/FaultKinds.h) put into the board
  std::optional<std::vector<PadRef>> Pads; // --pads: these pads, or every pad accessed if empty
  std::optional<std::string> HtmlPath;     // the page (--html)
  bool All = false;                        // every transaction, runs of identical ones not folded
  bool Source = false; // the trace names each access's instruction address and source line
};

struct OpOptions {
  RunOptions Run; // the board, the trace and the form, as for run
  bool List = false;
  std::optional<tools::SlotRequest> Slot; // absent with --list
};

struct DecodeOptions {
  std::string TracePath; // "-" for standard input
  bool Json = false;
  std::optional<std::vector<PadRef>> Pads;
  std::optional<std::string> HtmlPath;
  bool All = false;
  bool Source = false;                  // the trace again, each access with its source line
  std::optional<std::string> ImagePath; // the image that made the trace, if not the built one
};

// Every fault at every point the fault-free runs reach (tools/boardsim/sweep/SweepRun.h).
struct SweepOptions {
  std::vector<std::string> Boards; // empty: every built-in board
  std::vector<std::string> Slots;  // empty: every filled slot of each board's descriptor
  std::vector<std::string> Kinds;  // empty: every kind
  bool Boots = true;               // false with --op: slot calls only
  unsigned Jobs = 0;               // 0: the core count
  size_t Sample = 0;               // 0: every point; else about this many, spread over each kind
  bool Host = false;
  std::optional<std::string> ImagePath;
  std::optional<std::string> MapPath; // the image's linker map, if not beside it
  bool Json = false;
  bool FromReset = false; // the image's points each from reset on a new CPU, not from checkpoints
  std::optional<std::string> HtmlPath;
  bool ListPoints = false; // print each target's fault points instead of trying them
  bool BootsOnly = false;  // the boots and no slot call
  uint64_t Seed = 0;       // which draw --sample makes (0: the first point of each stretch)
  std::optional<std::string> Shard; // K/N: the K-th of N parts of the points (sweep/SweepShards.h)
  std::vector<std::string> Merge;   // shards' --json documents to merge into the whole sweep's
};

// board --check: a board file with every default filled in.
struct BoardOptions {
  std::string Check; // a name in the boards folder, or a path to a JSON file
};

enum class Command { Run, Op, Decode, Sweep, Boards, Board, Version, Print };

struct CommandLine {
  Command Which = Command::Print;
  RunOptions Run;
  OpOptions Op;
  DecodeOptions Decode;
  SweepOptions Sweep;
  BoardOptions Board;
  std::string Printed; // Command::Print: the --help text, for standard output
};

// Throws tools::ToolError (exit 2) on anything it does not understand: one line naming it. Options
// may stand before or after op's slot words; --pads takes the words after it that name pads
// (COMMUNITY:PAD), so a slot name after it stays the slot. A slot name, an argument count or an
// argument the slot cannot take is named with the slot's signature.
CommandLine ParseCommandLine(const std::vector<std::string>& Args);

} // namespace boardsim

// The command line of boardsim sweep, kept beside the sweep.
#pragma once

#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/cli/Subcommand.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

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
  std::optional<std::string> JunitPath; // the result as JUnit XML
  bool ListPoints = false;              // print each target's fault points instead of trying them
  bool BootsOnly = false;               // the boots and no slot call
  uint64_t Seed = 0; // which draw --sample makes (0: the first point of each stretch)
  std::optional<std::string> Shard; // K/N: the K-th of N parts of the points (sweep/SweepShards.h)
  std::vector<std::string> Merge;   // shards' --json documents to merge into the whole sweep's
};

Subcommand AddSweepCommand(CLI::App& Program, SweepOptions& Options);

// Every fault at every point of each board's boot and slot calls; 1 when any point failed.
int SweepCommand(const SweepOptions& Options, const Installation& Where);

// The image a sweep of Options runs, or none for the host build.
std::optional<std::string> SweptImage(const SweepOptions& Options, const Installation& Where);

// The sweep without its outputs, for the command and for the Python module: the shard, kinds,
// slots and boards checked (bad input refused, exit 2), then Checked called, then each target's
// fault-free run and, unless ListPoints, every point's run; Progress draws the bar on standard
// error. Not a merge (--merge).
struct SweepReport;
SweepReport RunSweep(const SweepOptions& Options, const Installation& Where, bool Progress,
                     const std::function<void()>& Checked = {});

} // namespace boardsim

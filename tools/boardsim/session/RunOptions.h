// How a boot or a slot call runs: the board, the form of the module, the faults put into the
// board, and the outputs beside the summary. The command line fills it; a session reads it.
#pragma once

#include "tools/boardsim/analysis/PadView.h"

#include <cstdint>
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
  bool PadsChangedOnly = false;            // --pads changed: of those, the ones the run changed
  std::optional<std::string> HtmlPath;     // the page (--html)
  bool All = false;                        // every transaction, runs of identical ones not folded
  bool Source = false; // the trace names each access's instruction address and source line
  std::optional<std::string> ExpectPath; // what the run must show (expect/Expectations.h)
  std::optional<std::string> JunitPath;  // the expectations' verdicts as JUnit XML
};

} // namespace boardsim

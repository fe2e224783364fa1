// The command line of boardsim.
#pragma once

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
  bool Help = false;
};

// Throws tools::ToolError (exit 2) on anything it does not understand.
RunOptions ParseRunOptions(const std::vector<std::string>& Args);

struct OpOptions {
  RunOptions Run; // the board, the trace and the form, as for run
  bool List = false;
  std::optional<tools::SlotRequest> Slot; // absent with --list or --help
};

// Options start with "--" and may stand anywhere; the other words are the slot name and its
// arguments. A slot name, an argument count or an argument the slot cannot take is bad input
// (tools::ToolError, exit 2), named with the slot's signature.
OpOptions ParseOpOptions(const std::vector<std::string>& Args);

// A bare name means <BoardsDir>/<name>.json; anything with a slash or a .json ending is a path.
std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir);

extern const char* const Usage;   // boardsim run
extern const char* const OpUsage; // boardsim op

} // namespace boardsim

// What each command folder hands the command line: its CLI11 subcommand, and what to do with the
// words CLI11 leaves to it once the line is parsed. main puts the commands together
// (tools/boardsim/CommandLine.cpp); each registers itself beside its code.
#pragma once

#include "tools/boardsim/analysis/PadView.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace boardsim {

// What --pads asked for, for the commands that take it: absent, the pads it named (empty: every
// pad the run accessed), and with `--pads changed` only those the run changed.
struct PadList {
  std::optional<std::vector<PadRef>> Pads;
  bool ChangedOnly = false;
};

struct Subcommand {
  CLI::App* App;
  // Called when this command was the one parsed, with the words after "--" (Tail) and --pads'.
  std::function<void(const std::vector<std::string>& Tail, const PadList& Pads)> Finish;
};

// What every command's help ends with.
extern const char* const ExitStatuses;

// Bad input (tools::ToolError, exit 2): "boardsim: " and Message.
[[noreturn]] void BadInput(const std::string& Message);

// Whether Word parses as a fault point.
bool IsFaultPoint(const std::string& Word);

// "unexpected argument 'WORD'" and why: a fault point left over is most likely a second point
// written after one --fault.
std::string Unexpected(const std::string& Word, const std::string& Command);

// Refuses the first of Tail, for a command that takes no words.
void RefuseTail(const std::vector<std::string>& Tail, const std::string& Command);

} // namespace boardsim

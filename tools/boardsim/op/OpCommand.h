// op: one PMIC slot, called as the firmware modules that use the library call it, or --list.
#pragma once

#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/cli/Subcommand.h"
#include "tools/boardsim/session/RunOptions.h"
#include "tools/run/SlotCall.h"

#include <optional>

namespace boardsim {

struct OpOptions {
  RunOptions Run; // the board, the trace and the form, as for run
  bool List = false;
  std::optional<tools::SlotRequest> Slot; // absent with --list
};

Subcommand AddOpCommand(CLI::App& Program, OpOptions& Options);

// Returns the process exit status; bad input is thrown as a tools::ToolError.
int OpCommand(const OpOptions& Options, const Installation& Where);

} // namespace boardsim

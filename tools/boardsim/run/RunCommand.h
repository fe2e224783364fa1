// run: a boot, ModuleEntry on the board, and a summary of what it did.
#pragma once

#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/cli/Subcommand.h"
#include "tools/boardsim/session/RunOptions.h"

namespace boardsim {

Subcommand AddRunCommand(CLI::App& Program, RunOptions& Options);

// Returns the process exit status; bad input is thrown as a tools::ToolError.
int RunCommand(const RunOptions& Options, const Installation& Where);

} // namespace boardsim

// The subcommands of boardsim. Each returns the process exit status; bad input is thrown as a
// tools::ToolError.
#pragma once

#include "tools/boardsim/shared/Installation.h"
#include "tools/boardsim/shared/Options.h"

#include <string>

namespace boardsim {

// A boot: ModuleEntry on the board, and a summary of what it did.
int RunCommand(const RunOptions& Options, const Installation& Where);

// One PMIC slot called as the firmware modules that use the library call it, or --list.
int OpCommand(const OpOptions& Options, const Installation& Where);

// The views of a saved trace.
int DecodeCommand(const DecodeOptions& Options, const Installation& Where);

// --version: the tool's version and build number, which the image's version section carries too,
// and the SHA-256 of the image run by default.
int VersionCommand(const Installation& Where);

// Every fault at every point of each board's boot and slot calls; 1 when any point failed.
int SweepCommand(const SweepOptions& Options, const Installation& Where);

// The built-in boards, each with its description.
int BoardsCommand(const Installation& Where);

// A board file read as a run reads it, and printed back with every default filled in.
int BoardCommand(const BoardOptions& Options, const Installation& Where);

} // namespace boardsim

// Which form of the module a run uses: the image the build made (what goes to flash), another
// image named on the command line, or the host-linked module.
#pragma once

#include "sim/Soc.h"
#include "tools/boardsim/Options.h"
#include "tools/run/HostRun.h"

#include <string>

namespace boardsim {

struct ModuleRun {
  std::string Module; // for the summary: "host build" or "image <path>"
  tools::RunResult Result;
};

// Runs the chosen module on Board. An image that cannot be loaded is bad input: a
// tools::ToolError with exit status 2, thrown before anything runs.
// The board's HOB list is handed over in the layout of the form that runs.
ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage);

} // namespace boardsim

// The command line of boardsim sweep, kept beside the sweep so the shared parser only adds it.
#pragma once

#include "tools/boardsim/shared/Options.h"

namespace CLI {
class App;
}

namespace boardsim {

CLI::App* AddSweepCommand(CLI::App& Program, SweepOptions& Options);

} // namespace boardsim

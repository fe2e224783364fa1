#include "tools/boardsim/cli/RunFlags.h"
#include "tools/boardsim/run/RunCommand.h"

#include <CLI/CLI.hpp>

#include <string>

namespace boardsim {

Subcommand AddRunCommand(CLI::App& Program, RunOptions& Options) {
  CLI::App* run = Program.add_subcommand("run", "a boot: ModuleEntry on the board, and a summary "
                                                "of what it did");
  AddRunOptions(*run, Options);
  run->footer(std::string(ExitStatuses) + "\nReference: docs/run.md");
  run->allow_extras();
  return {run, [&Options](const std::vector<std::string>& Tail, const PadList& Pads) {
            Options.Pads = Pads.Pads;
            Options.PadsChangedOnly = Pads.ChangedOnly;
            RefuseTail(Tail, "run");
          }};
}

} // namespace boardsim

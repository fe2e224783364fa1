// boardsim: runs the module on a simulated board and shows what it did.
#include "tools/boardsim/Commands.h"
#include "tools/boardsim/Options.h"
#include "tools/run/ToolError.h"

#include <iostream>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const boardsim::Installation where{BOARDINIT_BOARDS_DIR, BOARDINIT_IMAGE};
  try {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      (args.empty() ? std::cerr : std::cout) << boardsim::Usage << '\n' << boardsim::OpUsage;
      return args.empty() ? tools::ExitBadInput : 0;
    }
    if (args[0] == "run") {
      return boardsim::RunCommand({args.begin() + 1, args.end()}, where);
    }
    if (args[0] == "op") {
      return boardsim::OpCommand({args.begin() + 1, args.end()}, where);
    }
    throw tools::ToolError("boardsim: unknown command '" + args[0] + "' (see boardsim --help)",
                           tools::ExitBadInput);
  } catch (const tools::ToolError& error) {
    std::cerr << error.what() << '\n';
    return error.ExitStatus();
  } catch (const std::exception& error) {
    // Anything else is the tool's own failure, still one line and not a crash.
    std::cerr << "boardsim: " << error.what() << '\n';
    return tools::ExitRunFailed;
  }
}

// boardsim: runs the module on a simulated board and shows what it did.
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/StandardStreams.h"
#include "tools/boardsim/CommandLine.h"
#include "tools/boardsim/run/RunCommand.h"
#include "tools/boardsim/version/VersionCommand.h"

#include <filesystem>
#include <iostream>

namespace {

// Installed, the tool takes its boards and image from its own prefix, wherever that was unpacked.
boardsim::Installation FindData() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const boardsim::Installation buildTree{BOARDINIT_BOARDS_DIR, BOARDINIT_IMAGE};
  return error ? buildTree
               : boardsim::FindInstallation(
                     self, {BOARDINIT_INSTALLED_BOARDS, BOARDINIT_INSTALLED_IMAGE}, buildTree);
}

int RunTool(int argc, char** argv) {
  const boardsim::Installation where = FindData();
  try {
    const boardsim::CommandLine line =
        boardsim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.Which) {
    case boardsim::Command::Run:
      return boardsim::RunCommand(line.Run, where);
    case boardsim::Command::Op:
      return boardsim::OpCommand(line.Op, where);
    case boardsim::Command::Decode:
      return boardsim::DecodeCommand(line.Decode, where);
    case boardsim::Command::Sweep:
      return boardsim::SweepCommand(line.Sweep, where);
    case boardsim::Command::Version:
      return boardsim::VersionCommand(where);
    case boardsim::Command::Boards:
      return boardsim::BoardsCommand(where);
    case boardsim::Command::Board:
      return boardsim::BoardCommand(line.Board, where);
    case boardsim::Command::Print:
      std::cout << line.Printed;
      return 0;
    }
    return tools::ExitRunFailed;
  } catch (const tools::ToolError& error) {
    std::cerr << error.what() << '\n';
    return error.ExitStatus();
  } catch (const std::exception& error) {
    // Anything else is the tool's own failure, still one line and not a crash.
    std::cerr << tools::Printable(std::string("boardsim: ") + error.what(),
                                  tools::Backslashes::Keep)
              << '\n';
    return tools::ExitRunFailed;
  }
}

} // namespace

int main(int argc, char** argv) {
  files::SetUpStandardStreams();
  return files::FinalStatus(RunTool(argc, argv));
}

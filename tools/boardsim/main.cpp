// boardsim: runs the module on a simulated board and shows what it did.
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/boardsim/Options.h"
#include "tools/boardsim/RunModule.h"
#include "tools/boardsim/Summary.h"
#include "tools/run/ToolError.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

sim::BoardConfig LoadBoard(const std::string& Path) {
  try {
    return sim::LoadBoardFile(Path);
  } catch (const sim::BoardFileError& error) {
    throw tools::ToolError(std::string("boardsim: ") + error.what(), tools::ExitBadInput);
  }
}

void WriteTrace(const sim::Board& Board, const std::string& Path) {
  if (Path == "-") {
    Board.GetTrace().WriteText(std::cout);
    return;
  }
  std::ofstream file(Path);
  if (file) {
    Board.GetTrace().WriteText(file);
  }
  if (!file) {
    throw tools::ToolError("boardsim: cannot write trace to " + Path, tools::ExitBadInput);
  }
}

int Run(const std::vector<std::string>& Args) {
  const boardsim::RunOptions options = boardsim::ParseRunOptions(Args);
  if (options.Help) {
    std::cout << boardsim::Usage;
    return 0;
  }
  const std::string path = boardsim::ResolveBoardPath(options.Board, BOARDINIT_BOARDS_DIR);
  sim::BoardConfig config = LoadBoard(path);
  if (config.Name.empty()) {
    config.Name = std::filesystem::path(path).stem().string();
  }

  sim::Soc soc(config);
  const auto padsBefore = boardsim::SnapshotPads(soc.Gpio);
  const boardsim::ModuleRun run = boardsim::RunModule(options, soc, BOARDINIT_IMAGE);
  const tools::RunResult& result = run.Result;

  boardsim::RunReport report{config.Name,
                             path,
                             run.Module,
                             result.Status,
                             result.Failure,
                             boardsim::ComparePads(padsBefore, boardsim::SnapshotPads(soc.Gpio)),
                             boardsim::DescribeBoardStep(soc.Bus.GetTrace().Accesses())};
  if (options.TracePath) {
    WriteTrace(soc.Bus, *options.TracePath);
  }
  // With the trace on standard output, the summary moves out of its way.
  std::ostream& out = options.TracePath == "-" ? std::cerr : std::cout;
  boardsim::PrintSummary(out, report, soc.Bus);
  return result.Status ? 0 : tools::ExitRunFailed;
}

} // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      (args.empty() ? std::cerr : std::cout) << boardsim::Usage;
      return args.empty() ? tools::ExitBadInput : 0;
    }
    if (args[0] != "run") {
      throw tools::ToolError("boardsim: unknown command '" + args[0] + "' (see boardsim --help)",
                             tools::ExitBadInput);
    }
    return Run({args.begin() + 1, args.end()});
  } catch (const tools::ToolError& error) {
    std::cerr << error.what() << '\n';
    return error.ExitStatus();
  }
}

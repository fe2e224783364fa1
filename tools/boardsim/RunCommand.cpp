#include "sim/Soc.h"
#include "tools/boardsim/BoardInput.h"
#include "tools/boardsim/Commands.h"
#include "tools/boardsim/Contained.h"
#include "tools/boardsim/Options.h"
#include "tools/boardsim/RunModule.h"
#include "tools/boardsim/Summary.h"
#include "tools/run/ToolError.h"

#include <iostream>

namespace boardsim {

int RunCommand(const std::vector<std::string>& Args, const Installation& Where) {
  const RunOptions options = ParseRunOptions(Args);
  if (options.Help) {
    std::cout << Usage;
    return 0;
  }
  const LoadedBoard board = LoadBoard(options.Board, Where.BoardsDir);
  TraceOutput trace(options.TracePath);

  const auto boot = [&] {
    sim::Soc soc(board.Config);
    trace.Start(soc.Bus);
    const auto padsBefore = SnapshotPads(soc.Gpio);
    const ModuleRun run = RunModule(options, soc, Where.BuiltImage);
    const tools::RunResult& result = run.Result;

    RunReport report{board.Config.Name,
                     board.Path,
                     run.Module,
                     result.Status,
                     result.Failure,
                     ComparePads(padsBefore, SnapshotPads(soc.Gpio)),
                     DescribeBoardStep(soc.Bus.GetTrace().Accesses())};
    trace.Finish(soc.Bus);
    // With the trace on standard output, the summary moves out of its way.
    std::ostream& out = options.TracePath == "-" ? std::cerr : std::cout;
    PrintSummary(out, report, soc.Bus);
    return result.Status ? 0 : tools::ExitRunFailed;
  };
  return options.Host ? boot() : RunContained(boot);
}

} // namespace boardsim

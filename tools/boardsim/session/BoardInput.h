// What every boardsim command reads and writes around a run: the board description named on the
// command line, and the access trace.
#pragma once

#include "common/files/OutputFile.h"
#include "sim/Board.h"
#include "sim/BoardConfig.h"

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct LoadedBoard {
  std::string Path;
  sim::BoardConfig Config; // named after its file when the description has no name
};

// The built-in boards: the names of BoardsDir's JSON files, in order.
std::vector<std::string> BuiltInBoardNames(const std::string& BoardsDir);

// A bare name means <BoardsDir>/<name>.json; anything with a slash or a .json ending is a path.
// An unknown name is bad input that names the built-in boards.
std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir);

// A name from BoardsDir or a path; every problem is a tools::ToolError with exit status 2.
LoadedBoard LoadBoard(const std::string& Board, const std::string& BoardsDir);

// Puts each --fault point (sim/faults/FaultKinds.h) into the board; a point that does not parse, or
// that the board has nothing for, is bad input (exit 2).
void ApplyFaultOptions(const std::vector<std::string>& Faults, sim::BoardConfig& Board);

// Where --trace goes: a file, standard output for "-", or nowhere. The file is opened before the
// run, so that a path that cannot be written is refused (exit 2) before any time is spent; it
// replaces the file named only at Finish (see OutputFile). A run that did not return finishes
// too: its trace up to the access that ended it is the whole of what happened.
class TraceOutput {
public:
  // With Sources, each access line ends with its instruction address and what Sources names
  // it (a version 2 trace); Sources must outlive the run.
  explicit TraceOutput(const std::optional<std::string>& Path, sim::SiteNames* Sources = nullptr);
  // Before the run: the board keeps only what the views need, and the trace, if asked for, is
  // written as the run goes, so no run holds its whole trace in memory. Under a debugger that
  // can take the run back, the board keeps every access and the file is written at the end,
  // from the run as it finally went.
  void Start(sim::Board& Board, bool Debugged = false);
  // After it: the rest of the trace is written out; a write error throws (ExitWriteFailed).
  void Finish(sim::Board& Board);

private:
  std::optional<files::OutputFile> file_;
  bool streamed_ = false;
  sim::SiteNames* sources_ = nullptr;
};

} // namespace boardsim

// What every boardsim command reads and writes around a run: the board description named on the
// command line, and the access trace.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"

#include <string>

namespace boardsim {

struct LoadedBoard {
  std::string Path;
  sim::BoardConfig Config; // named after its file when the description has no name
};

// A name from BoardsDir or a path; every problem is a tools::ToolError with exit status 2.
LoadedBoard LoadBoard(const std::string& Board, const std::string& BoardsDir);

// To a file, or to standard output for "-".
void WriteTrace(const sim::Board& Board, const std::string& Path);

} // namespace boardsim

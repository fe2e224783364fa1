// boards and board: the built-in boards, and one board file as a run reads it.
#pragma once

#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/cli/Subcommand.h"

#include <string>

namespace boardsim {

// board --check: a board file with every default filled in.
struct BoardOptions {
  std::string Check; // a name in the boards folder, or a path to a JSON file
};

Subcommand AddBoardsCommand(CLI::App& Program);
Subcommand AddBoardCommand(CLI::App& Program, BoardOptions& Options);

// The built-in boards, each with its description.
int BoardsCommand(const Installation& Where);
// A board file read as a run reads it, and printed back with every default filled in.
int BoardCommand(const BoardOptions& Options, const Installation& Where);

} // namespace boardsim

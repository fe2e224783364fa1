#include "tools/boardsim/BoardInput.h"

#include "sim/BoardFile.h"
#include "tools/boardsim/Options.h"
#include "tools/run/ToolError.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace boardsim {

LoadedBoard LoadBoard(const std::string& Board, const std::string& BoardsDir) {
  LoadedBoard loaded;
  loaded.Path = ResolveBoardPath(Board, BoardsDir);
  try {
    loaded.Config = sim::LoadBoardFile(loaded.Path);
  } catch (const sim::BoardFileError& error) {
    throw tools::ToolError(std::string("boardsim: ") + error.what(), tools::ExitBadInput);
  }
  if (loaded.Config.Name.empty()) {
    loaded.Config.Name = std::filesystem::path(loaded.Path).stem().string();
  }
  return loaded;
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

} // namespace boardsim

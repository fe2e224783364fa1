#include "tools/boardsim/shared/BoardInput.h"

#include "sim/BoardFile.h"
#include "tools/run/Printable.h"
#include "tools/run/ToolError.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace boardsim {

std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir) {
  if (Board.find('/') != std::string::npos || Board.ends_with(".json")) {
    return Board;
  }
  const std::filesystem::path path = std::filesystem::path(BoardsDir) / (Board + ".json");
  if (!std::filesystem::exists(path)) {
    throw tools::ToolError("boardsim: no board named '" + tools::Printable(Board) +
                               "' (looked for " + tools::Printable(path.string()) + ")",
                           tools::ExitBadInput);
  }
  return path.string();
}

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

TraceOutput::TraceOutput(const std::optional<std::string>& Path) {
  if (Path) {
    file_.emplace(*Path, "trace");
  }
}

void TraceOutput::Start(sim::Board& Board) {
  Board.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  if (file_) {
    Board.GetTrace().StreamTo(file_->Stream());
  }
}

void TraceOutput::Finish(sim::Board& Board) {
  if (file_) {
    Board.GetTrace().Flush();
    file_->Finish();
  }
}

} // namespace boardsim

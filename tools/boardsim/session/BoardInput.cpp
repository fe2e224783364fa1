#include "tools/boardsim/session/BoardInput.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "sim/BoardFile.h"
#include "sim/faults/FaultKinds.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace boardsim {

std::vector<std::string> BuiltInBoardNames(const std::string& BoardsDir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(BoardsDir, error)) {
    if (entry.path().extension() == ".json") {
      names.push_back(entry.path().stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir) {
  if (Board.find('/') != std::string::npos || Board.ends_with(".json")) {
    return Board;
  }
  const std::filesystem::path path = std::filesystem::path(BoardsDir) / (Board + ".json");
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    std::string known;
    for (const std::string& name : BuiltInBoardNames(BoardsDir)) {
      known += (known.empty() ? "" : ", ") + name;
    }
    // A name no file can have (too long, say) is no board's either: the same one line.
    throw tools::ToolError(
        "boardsim: no board named " + tools::Quoted(Board) + " (looked for " +
            tools::Printable(BoardsDir) + "/NAME.json" + (error ? ": " + error.message() : "") +
            "; built-in boards: " + tools::Printable(known) + "; boardsim boards describes them)",
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

TraceOutput::TraceOutput(const std::optional<std::string>& Path, sim::SiteNames* Sources)
    : sources_(Sources) {
  if (Path) {
    file_.emplace(*Path, "trace");
  }
}

void TraceOutput::Start(sim::Board& Board, bool Debugged) {
  streamed_ = file_ && !Debugged;
  Board.GetTrace().SetKeep(file_ && Debugged ? sim::TraceKeep::Everything
                                             : sim::TraceKeep::ViewInputs);
  if (sources_ != nullptr) {
    Board.GetTrace().WithSites(sources_);
  }
  if (streamed_) {
    Board.GetTrace().StreamTo(file_->Stream());
  }
}

void TraceOutput::Finish(sim::Board& Board) {
  if (file_) {
    if (streamed_) {
      Board.GetTrace().Flush();
    } else {
      Board.GetTrace().WriteText(file_->Stream());
    }
    file_->Finish();
  }
}

void ApplyFaultOptions(const std::vector<std::string>& Faults, sim::BoardConfig& Board) {
  for (const std::string& fault : Faults) {
    try {
      sim::ApplyFault(sim::ParseFaultPoint(fault), Board);
    } catch (const std::invalid_argument& refused) {
      throw tools::ToolError("boardsim: --fault " + fault + ": " + refused.what(),
                             tools::ExitBadInput);
    }
  }
}

} // namespace boardsim

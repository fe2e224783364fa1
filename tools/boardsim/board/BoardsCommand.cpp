#include "common/Printable.h"
#include "common/files/StandardStreams.h"
#include "tools/boardsim/board/BoardCommand.h"
#include "tools/boardsim/session/BoardInput.h"

#include <algorithm>
#include <iomanip>
#include <iostream>

namespace boardsim {

int BoardsCommand(const Installation& Where) {
  const std::vector<std::string> names = BuiltInBoardNames(Where.BoardsDir);
  size_t width = 0;
  for (const std::string& name : names) {
    width = std::max(width, name.size());
  }
  for (const std::string& name : names) {
    const LoadedBoard board = LoadBoard(name, Where.BoardsDir);
    std::cout << std::left << std::setw(static_cast<int>(width + 2)) << name
              << tools::Printable(board.Config.Description) << '\n';
  }
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim

#include "tools/boardsim/board/BoardCommand.h"
#include "common/files/StandardStreams.h"
#include "sim/BoardFileWriter.h"
#include "tools/boardsim/render/CompactJson.h"
#include "tools/boardsim/session/BoardInput.h"

#include <iostream>

namespace boardsim {

int BoardCommand(const BoardOptions& Options, const Installation& Where) {
  const LoadedBoard board = LoadBoard(Options.Check, Where.BoardsDir);
  std::cout << CompactJson(sim::BoardFileJson(board.Config)) << '\n';
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim

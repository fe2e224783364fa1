#include "common/files/StandardStreams.h"
#include "sim/BoardFileWriter.h"
#include "tools/boardsim/shared/BoardInput.h"
#include "tools/boardsim/shared/Commands.h"
#include "tools/boardsim/shared/CompactJson.h"

#include <iostream>

namespace boardsim {

int BoardCommand(const BoardOptions& Options, const Installation& Where) {
  const LoadedBoard board = LoadBoard(Options.Check, Where.BoardsDir);
  std::cout << CompactJson(sim::BoardFileJson(board.Config)) << '\n';
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim

// The command line of boardsim: each command registers its own words and options beside its code;
// this puts them together and says which one the line asks for.
#pragma once

#include "tools/boardsim/board/BoardCommand.h"
#include "tools/boardsim/decode/DecodeCommand.h"
#include "tools/boardsim/op/OpCommand.h"
#include "tools/boardsim/session/RunOptions.h"
#include "tools/boardsim/sweep/SweepOptions.h"

#include <string>
#include <vector>

namespace boardsim {

enum class Command { Run, Op, Decode, Sweep, Boards, Board, Version, Print };

struct CommandLine {
  Command Which = Command::Print;
  RunOptions Run;
  OpOptions Op;
  DecodeOptions Decode;
  SweepOptions Sweep;
  BoardOptions Board;
  std::string Printed; // Command::Print: the --help text, for standard output
};

// Throws tools::ToolError (exit 2) on anything it does not understand: one line naming it. Options
// may stand before or after op's slot words; --pads takes the words after it that name pads
// (COMMUNITY:PAD), so a slot name after it stays the slot. A slot name, an argument count or an
// argument the slot cannot take is named with the slot's signature.
CommandLine ParseCommandLine(const std::vector<std::string>& Args);

} // namespace boardsim

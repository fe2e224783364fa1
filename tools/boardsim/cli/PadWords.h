// --pads takes the words after it that name pads (COMMUNITY:PAD), so that a slot name after it
// stays the slot: they are taken from the command line before CLI11 sees it.
#pragma once

#include "tools/boardsim/cli/Subcommand.h"

#include <string>
#include <vector>

namespace boardsim {

// Removes --pads and the pad words after it (or --pads=PAD) from the words of the command in
// Words, where that command has --pads; anywhere else it is left for CLI11 to refuse. Commands
// are the command words, in any order.
PadList TakePadWords(std::vector<std::string>& Words, const std::vector<std::string>& Commands,
                     const std::vector<std::string>& WithPads);

} // namespace boardsim

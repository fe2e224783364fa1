// The options run and op share (the board, the form, the outputs, the faults, GDB), and the page
// options decode shares with them.
#pragma once

#include "tools/boardsim/session/RunOptions.h"

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace boardsim {

void AddRunOptions(CLI::App& Command, RunOptions& Options);

// --html, and --pads as help shows it: its words are taken before CLI11 parses (TakePadWords).
void AddPageOptions(CLI::App& Command, std::optional<std::string>& HtmlPath);

} // namespace boardsim

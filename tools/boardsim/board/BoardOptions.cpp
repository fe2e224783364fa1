#include "tools/boardsim/board/BoardCommand.h"

#include <CLI/CLI.hpp>

namespace boardsim {

namespace {

constexpr const char* BoardsFooter =
    "Each board in the boards folder, by the name --board takes, with its description.\n"
    "Reference: docs/board-files.md";

constexpr const char* BoardFooter =
    "Reads the board file as run does (bad input is one line naming the file and the position,\n"
    "exit 2) and prints it back with every key, each default filled in: what the board is.\n"
    "Reference: docs/board-files.md";

} // namespace

Subcommand AddBoardsCommand(CLI::App& Program) {
  CLI::App* boards = Program.add_subcommand("boards", "the built-in boards, with what each shows");
  boards->footer(BoardsFooter);
  boards->allow_extras();
  return {boards,
          [](const std::vector<std::string>& Tail, const PadList&) { RefuseTail(Tail, "boards"); }};
}

Subcommand AddBoardCommand(CLI::App& Program, BoardOptions& Options) {
  CLI::App* board = Program.add_subcommand(
      "board", "a board file read as run reads it, printed with every default filled in");
  board
      ->add_option("--check", Options.Check,
                   "the board: a name from the boards folder, or a JSON file")
      ->type_name("NAME|FILE")
      ->required();
  board->footer(BoardFooter);
  board->allow_extras();
  return {board,
          [](const std::vector<std::string>& Tail, const PadList&) { RefuseTail(Tail, "board"); }};
}

} // namespace boardsim

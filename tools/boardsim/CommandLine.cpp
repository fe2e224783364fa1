#include "tools/boardsim/CommandLine.h"

#include "common/Printable.h"

#include "tools/boardsim/cli/PadWords.h"
#include "tools/boardsim/cli/Subcommand.h"
#include "tools/boardsim/run/RunCommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace boardsim {

namespace {

constexpr const char* ProgramFooter =
    "Examples:\n"
    "  boardsim run --board no-pmic --trace -\n"
    "  boardsim op WriteRegister 0x30 0x85\n"
    "  boardsim op --list\n"
    "  boardsim boards\n"
    "  boardsim run --trace boot.trace && boardsim decode boot.trace\n";

// CLI11 names the option in front of its message; the user reads "--board needs a value".
std::string Describe(const CLI::ParseError& Error, const CLI::App& Program) {
  const std::string message = Error.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&Error) != nullptr) {
    for (const CLI::App* command : Program.get_subcommands({})) {
      for (const CLI::Option* option : command->get_options()) {
        if (message.starts_with(option->get_name() + ":")) {
          return option->get_name() + " needs a value";
        }
      }
    }
  }
  return message;
}

// What CLI11 left over: an option no command has, or a word where none is expected.
void RefuseExtras(const CLI::App& Program) {
  const std::vector<std::string> extras = Program.remaining(true);
  if (extras.empty()) {
    return;
  }
  const std::string first = tools::Printable(extras.front());
  if (first.starts_with("-") && first.size() > 1) {
    BadInput("unknown option '" + first + "'");
  }
  if (Program.get_subcommands().empty()) {
    BadInput("unknown command '" + first + "' (see boardsim --help)");
  }
  BadInput(Unexpected(extras.front(), Program.get_subcommands().front()->get_name()));
}

struct Registered {
  Command Which;
  Subcommand Words;
};

// The commands, in the order help lists them: the one list of command words.
std::vector<Registered> AddCommands(CLI::App& Program, CommandLine& Line) {
  return {{Command::Run, AddRunCommand(Program, Line.Run)},
          {Command::Op, AddOpCommand(Program, Line.Op)},
          {Command::Decode, AddDecodeCommand(Program, Line.Decode)},
          {Command::Sweep, AddSweepCommand(Program, Line.Sweep)},
          {Command::Boards, AddBoardsCommand(Program)},
          {Command::Board, AddBoardCommand(Program, Line.Board)}};
}

// "run, op, decode, sweep, boards or board".
std::string CommandList(const std::vector<std::string>& Names) {
  std::string list;
  for (size_t i = 0; i < Names.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == Names.size() ? " or " : ", ") + Names[i];
  }
  return list;
}

// "--" ends the options of a command: what follows it are words (op's slot and arguments,
// decode's trace), even where they start with a dash. They are kept from CLI11, which would take
// a "--" before a command's positionals as an unknown option. Returns the words after it.
std::vector<std::string> SplitTail(std::vector<std::string>& Words,
                                   const std::vector<std::string>& Names) {
  const auto command = std::find_if(Words.begin(), Words.end(), [&](const std::string& Arg) {
    return Arg == "--" || std::find(Names.begin(), Names.end(), Arg) != Names.end();
  });
  const auto ends = command == Words.end() ? Words.end() : std::find(command, Words.end(), "--");
  if (ends == Words.end()) {
    return {};
  }
  std::vector<std::string> tail(ends + 1, Words.end());
  Words.erase(ends, Words.end());
  return tail;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  CommandLine line;
  CLI::App program("Runs the board-initialisation module on a simulated board and shows what it "
                   "did.",
                   "boardsim");
  program.set_version_flag("--version", "boardsim " BOARDINIT_VERSION,
                           "print the version, the build number, and the SHA-256 of the image "
                           "run by default, then exit");
  program.footer(std::string(ProgramFooter) + ExitStatuses + "\nReference: docs/boardsim.md");
  program.require_subcommand(0, 1);
  program.allow_extras();
  const std::vector<Registered> commands = AddCommands(program, line);
  std::vector<std::string> names;
  std::vector<std::string> withPads;
  for (const Registered& command : commands) {
    names.push_back(command.Words.App->get_name());
    if (command.Words.App->get_option_no_throw("--pads") != nullptr) {
      withPads.push_back(names.back());
    }
  }
  std::vector<std::string> head = Args;
  const PadList pads = TakePadWords(head, names, withPads);
  const std::vector<std::string> tail = SplitTail(head, names);
  std::vector<std::string> reversed(head.rbegin(), head.rend()); // CLI11 takes them last first
  try {
    program.parse(reversed);
  } catch (const CLI::CallForVersion&) {
    line.Which = Command::Version;
    return line;
  } catch (const CLI::Success&) { // --help, of the program or of a command
    line.Printed = program.help();
    return line;
  } catch (const CLI::ParseError& error) {
    BadInput(Describe(error, program));
  }
  RefuseExtras(program);
  for (const Registered& command : commands) {
    if (command.Words.App->parsed()) {
      line.Which = command.Which;
      command.Words.Finish(tail, pads);
      return line;
    }
  }
  BadInput("a command is needed: " + CommandList(names) + " (see boardsim --help)");
}

} // namespace boardsim

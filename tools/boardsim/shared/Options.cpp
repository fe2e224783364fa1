#include "tools/boardsim/shared/Options.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "sim/faults/FaultKinds.h"
#include "tools/boardsim/op/SlotArguments.h"
#include "tools/boardsim/sweep/SweepOptions.h"
#include "tools/run/PmicSlots.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <stdexcept>

namespace boardsim {

namespace {

constexpr const char* ExitStatuses =
    "Exit status: 0 done; 1 the module did not return, a slot is not offered, or a sweep\n"
    "found failures; 2 bad input (one line naming the file and the position); 3 an output could\n"
    "not be written.";

constexpr const char* ProgramFooter =
    "Examples:\n"
    "  boardsim run --board no-pmic --trace -\n"
    "  boardsim op WriteRegister 0x30 0x85\n"
    "  boardsim op --list\n"
    "  boardsim boards\n"
    "  boardsim run --trace boot.trace && boardsim decode boot.trace\n";

constexpr const char* OpFooter =
    "Calls GetActivePmic, then one slot of the descriptor it returns, as the firmware modules\n"
    "that use the PMIC library do; shows why that descriptor was chosen, what the slot returned\n"
    "and stored, and the PMIC bus traffic it caused. A board whose ACPI I/O window is closed gets\n"
    "it opened at 0x400 before the call, as the module's entry leaves it: the library's waits\n"
    "read the PM timer behind it.\n"
    "Exit status: 0 the slot returned; 1 the slot is not offered, or the call did not return;\n"
    "2 bad input; 3 an output could not be written.\n"
    "Reference: docs/op.md";

constexpr const char* DecodeFooter =
    "Shows what the trace alone determines: its accesses by kind, the PMIC bus (transactions,\n"
    "semaphore holds, sideband messages) and, for a trace of run, the PMIC selection and the\n"
    "board step, exactly as run shows them. Counts by device are left out: they need the\n"
    "board's decoders, which move while the module programs them.\n"
    "Sequence numbers and times must strictly increase; a device file is refused.\n"
    "Exit status: 0 done; 2 bad input (a trace line that does not parse or is out of order,\n"
    "named by its number); 3 an output could not be written.\n"
    "Reference: docs/decode.md";

constexpr const char* BoardsFooter =
    "Each board in the boards folder, by the name --board takes, with its description.\n"
    "Reference: docs/board-files.md";

constexpr const char* BoardFooter =
    "Reads the board file as run does (bad input is one line naming the file and the position,\n"
    "exit 2) and prints it back with every key, each default filled in: what the board is.\n"
    "Reference: docs/board-files.md";

[[noreturn]] void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

// --html, and --pads as help shows it: its words are taken before CLI11 parses (TakePadWords).
void AddPageOptions(CLI::App& Command, std::optional<std::string>& HtmlPath) {
  Command
      .add_option("--html", HtmlPath,
                  "write the run as one page a browser shows, self-contained (a timeline, the pad "
                  "map and the tables), or to standard output with '-'")
      ->type_name("FILE|-");
  Command.add_flag("--pads")
      ->description("show what the run did to these pads (COMMUNITY:PAD, such as 0x0000:93), or "
                    "to every pad it accessed: registers, fields before and after, accesses, "
                    "table row")
      ->type_name("[COMMUNITY:PAD ...]");
}

// A word --pads takes: a pad, never an option or a slot name.
bool IsPadWord(const std::string& Word) {
  return !Word.starts_with("-") && Word.find(':') != std::string::npos;
}

PadRef ParsePadWord(const std::string& Word) {
  PadRef pad{};
  std::string error;
  if (!ParsePadRef(Word, pad, error)) {
    BadInput("--pads: '" + tools::Printable(Word) + "': " + error);
  }
  return pad;
}

// Removes --pads and the pad words after it (or --pads=PAD) from the words of run, op and decode,
// where it belongs; anywhere else it is left for CLI11 to refuse.
std::optional<std::vector<PadRef>> TakePadWords(std::vector<std::string>& Words) {
  const auto command = std::find_if(Words.begin(), Words.end(), [](const std::string& Arg) {
    return Arg == "run" || Arg == "op" || Arg == "decode" || Arg == "sweep" || Arg == "--";
  });
  if (command == Words.end() || *command == "sweep" || *command == "--") {
    return std::nullopt;
  }
  std::optional<std::vector<PadRef>> pads;
  std::vector<std::string> kept(Words.begin(), command + 1);
  for (auto word = command + 1; word != Words.end(); ++word) {
    if (*word == "--") {
      kept.insert(kept.end(), word, Words.end());
      break;
    }
    if (*word == "--pads" || word->starts_with("--pads=")) {
      if (!pads) {
        pads.emplace();
      }
      if (word->starts_with("--pads=")) {
        pads->push_back(ParsePadWord(word->substr(std::string("--pads=").size())));
        continue;
      }
      while (word + 1 != Words.end() && IsPadWord(*(word + 1))) {
        pads->push_back(ParsePadWord(*++word));
      }
      continue;
    }
    kept.push_back(*word);
  }
  Words = kept;
  return pads;
}

// The options run and op share.
void AddRunOptions(CLI::App& Command, RunOptions& Options) {
  Command
      .add_option("--board", Options.Board,
                  "a board from the boards folder (default: default), or a JSON file")
      ->type_name("NAME|FILE");
  CLI::Option* trace =
      Command
          .add_option("--trace", Options.TracePath,
                      "write the access trace to FILE, or to standard output with '-' (the "
                      "summary then goes to standard error)")
          ->type_name("FILE|-");
  CLI::Option* host =
      Command.add_flag("--host", Options.Host, "run the host-linked module instead of the image");
  Command
      .add_option(
          "--image", Options.ImagePath,
          "run this image (PE32, TE, FFS file or firmware volume) instead of the one the build "
          "made (image/boardinit.efi)")
      ->type_name("FILE")
      ->excludes(host);
  Command.add_flag("--json", Options.Json, "print the summary as one JSON document");
  Command.add_flag("--all", Options.All,
                   "list every PMIC bus transaction: runs of three or more identical ones are "
                   "folded into one line otherwise (JSON always has them all)");
  Command
      .add_option("--vcd", Options.VcdPath,
                  "write the waveform of the PMIC bus and the pads the module drives (VCD), or to "
                  "standard output with '-'")
      ->type_name("FILE|-");
  CLI::Option* gdb =
      Command
          .add_option("--gdb", Options.Gdb,
                      "stop the image before its first instruction and wait for GDB on "
                      "[HOST:]PORT (host 127.0.0.1 unless given; port 0 picks a free one)")
          ->type_name("[HOST:]PORT")
          ->excludes(host);
  Command
      .add_option("--checkpoint-every", Options.CheckpointEvery,
                  "with --gdb: keep a checkpoint every N accesses, to go back from (default 1000)")
      ->type_name("N")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 32))
      ->needs(gdb);
  Command
      .add_option("--checkpoint-memory", Options.CheckpointMemoryMiB,
                  "with --gdb: at most MIB MiB of checkpoints, the oldest let go first; 0 keeps "
                  "none and GDB cannot go back (default 256)")
      ->type_name("MIB")
      ->check(CLI::Range(uint64_t{0}, uint64_t{1} << 20))
      ->needs(gdb);
  Command
      .add_option("--fault", Options.Faults,
                  "put a fault into the board (KIND[:WHERE][@WHEN]; boardsim sweep --list-points "
                  "lists a run's points, and an unknown kind is answered with the kinds); one "
                  "point each, given again for more")
      ->type_name("POINT")
      ->allow_extra_args(false);
  Command
      .add_flag("--source", Options.Source,
                "end each access line of the trace with its instruction address, function and "
                "file:line (from the image's debug twin)")
      ->needs(trace)
      ->excludes(host);
  AddPageOptions(Command, Options.HtmlPath);
}

bool IsFaultPoint(const std::string& Word) {
  try {
    sim::ParseFaultPoint(Word);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

// A fault point left over is most likely a second point written after one --fault.
std::string Unexpected(const std::string& Word, const std::string& Command) {
  return "unexpected argument '" + tools::Printable(Word) + "'" +
         (IsFaultPoint(Word) ? ": each fault point needs its own --fault"
                             : " (see boardsim " + Command + " --help)");
}

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

OpOptions CheckOp(OpOptions Options, const std::vector<std::string>& Words) {
  if (Options.List) {
    if (!Words.empty()) {
      BadInput("--list takes no slot, got '" + tools::Printable(Words[0]) + "'");
    }
    return Options;
  }
  if (Words.empty()) {
    BadInput("op needs a slot name (boardsim op --list shows the 25 slots)");
  }
  if (IsFaultPoint(Words[0])) {
    BadInput(Unexpected(Words[0], "op"));
  }
  Options.Slot = ParseSlot(Words[0], {Words.begin() + 1, Words.end()});
  return Options;
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

  CLI::App* run = program.add_subcommand("run", "a boot: ModuleEntry on the board, and a summary "
                                                "of what it did");
  AddRunOptions(*run, line.Run);
  run->footer(std::string(ExitStatuses) + "\nReference: docs/run.md");
  run->allow_extras();

  CLI::App* op = program.add_subcommand("op", "one PMIC slot, called as the firmware modules that "
                                              "use the library call it");
  AddRunOptions(*op, line.Op.Run);
  op->add_option("--map", line.Op.Run.MapPath,
                 "the image's linker map, where the slot call finds GetActivePmic (default: the "
                 "image's path with .map)")
      ->type_name("FILE");
  op->add_flag("--list", line.Op.List,
               "the 25 slots with their C signatures, and whether the board's PMIC descriptor "
               "fills each one");
  std::vector<std::string> words;
  op->add_option("SLOT", words,
                 "a slot name, then its UINT8 arguments (0-255, decimal or 0x hex); the tool "
                 "passes the pointers and shows what the slot stored there. GetStatus1-3 take "
                 "'null' for their Status pointer")
      ->type_name("");
  op->footer(OpFooter);
  op->allow_extras();

  CLI::App* decode = program.add_subcommand(
      "decode", "the views of a trace written earlier by --trace (of run or op)");
  decode->add_option("TRACE", line.Decode.TracePath, "the trace file, or '-' for standard input")
      ->type_name("");
  CLI::Option* json =
      decode->add_flag("--json", line.Decode.Json, "print the views as one JSON document");
  AddPageOptions(*decode, line.Decode.HtmlPath);
  decode->add_flag("--all", line.Decode.All,
                   "list every PMIC bus transaction: runs of three or more identical ones are "
                   "folded into one line otherwise");
  // --source prints the trace instead of the views: nothing else may ask for a view.
  CLI::Option* source =
      decode
          ->add_flag("--source", line.Decode.Source,
                     "print the trace instead, each access line ending with its function and "
                     "file:line (the trace must carry instruction addresses: run --source)")
          ->excludes(json)
          ->excludes(decode->get_option("--html"))
          ->excludes(decode->get_option("--pads"))
          ->excludes(decode->get_option("--all"));
  decode
      ->add_option("--image", line.Decode.ImagePath,
                   "the image that made the trace, for --source (default: the one the build "
                   "made, image/boardinit.efi)")
      ->type_name("FILE")
      ->needs(source);
  decode->footer(DecodeFooter);
  decode->allow_extras();

  CLI::App* sweep = AddSweepCommand(program, line.Sweep);
  CLI::App* boards = program.add_subcommand("boards", "the built-in boards, with what each shows");
  boards->footer(BoardsFooter);
  boards->allow_extras();
  CLI::App* board = program.add_subcommand(
      "board", "a board file read as run reads it, printed with every default filled in");
  board
      ->add_option("--check", line.Board.Check,
                   "the board: a name from the boards folder, or a JSON file")
      ->type_name("NAME|FILE")
      ->required();
  board->footer(BoardFooter);
  board->allow_extras();
  // "--" ends the options of a command: what follows it are words (op's slot and arguments,
  // decode's trace), even where they start with a dash. They are kept from CLI11, which would
  // take a "--" before a command's positionals as an unknown option.
  std::vector<std::string> args = Args;
  const std::optional<std::vector<PadRef>> pads = TakePadWords(args);
  std::vector<std::string> head = args;
  std::vector<std::string> tail;
  const auto command = std::find_if(args.begin(), args.end(), [](const std::string& Arg) {
    return Arg == "run" || Arg == "op" || Arg == "decode" || Arg == "sweep" || Arg == "boards" ||
           Arg == "board" || Arg == "--";
  });
  const auto ends = command == args.end() ? args.end() : std::find(command, args.end(), "--");
  if (ends != args.end()) {
    head.assign(args.begin(), ends);
    tail.assign(ends + 1, args.end());
  }
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
  line.Run.Pads = pads;
  line.Op.Run.Pads = pads;
  line.Decode.Pads = pads;
  if (run->parsed()) {
    line.Which = Command::Run;
    if (!tail.empty()) {
      BadInput(Unexpected(tail.front(), "run"));
    }
  } else if (op->parsed()) {
    line.Which = Command::Op;
    words.insert(words.end(), tail.begin(), tail.end());
    line.Op = CheckOp(line.Op, words);
  } else if (decode->parsed()) {
    line.Which = Command::Decode;
    if (!tail.empty() && !line.Decode.TracePath.empty()) {
      BadInput("unexpected argument '" + tools::Printable(tail.front()) +
               "' (see boardsim decode --help)");
    }
    if (tail.size() > 1) {
      BadInput("unexpected argument '" + tools::Printable(tail[1]) +
               "' (see boardsim decode --help)");
    }
    if (!tail.empty()) {
      line.Decode.TracePath = tail.front();
    }
    if (line.Decode.TracePath.empty()) {
      BadInput("decode needs a trace file, or '-' for standard input");
    }
  } else if (sweep->parsed()) {
    line.Which = Command::Sweep;
  } else if (boards->parsed() || board->parsed()) {
    line.Which = boards->parsed() ? Command::Boards : Command::Board;
    if (!tail.empty()) {
      BadInput(Unexpected(tail.front(), boards->parsed() ? "boards" : "board"));
    }
  } else {
    BadInput("a command is needed: run, op, decode, sweep, boards or board (see boardsim --help)");
  }
  return line;
}

} // namespace boardsim

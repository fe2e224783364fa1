#include "tools/boardsim/Options.h"

#include "tools/run/ToolError.h"

#include <charconv>
#include <filesystem>

namespace boardsim {

const char* const Usage = "usage: boardsim run [--board NAME|FILE] [--trace FILE|-] [--vcd FILE]\n"
                          "                    [--host | --image FILE]\n"
                          "  --board NAME|FILE  board description: a name from the boards folder\n"
                          "                     (default: default) or a path to a JSON file\n"
                          "  --trace FILE|-     write the access trace to FILE, or to standard\n"
                          "                     output with '-' (the summary then goes to\n"
                          "                     standard error)\n"
                          "  --vcd FILE         write the waveform of the PMIC bus, its semaphore\n"
                          "                     and the pads the board step drives (VCD)\n"
                          "  --host             run the host-linked module instead of the image\n"
                          "  --image FILE       run this PE32 image instead of the one the build\n"
                          "                     made (image/boardinit.efi)\n";

const char* const OpUsage =
    "usage: boardsim op [--board NAME|FILE] [--trace FILE|-] [--vcd FILE]\n"
    "                   [--host | --image FILE] SLOT [ARGS...]\n"
    "       boardsim op --list [--board NAME|FILE] [--host | --image FILE]\n"
    "  Calls GetActivePmic, then one slot of the descriptor it returns, as the firmware\n"
    "  modules that use the PMIC library do; shows why that descriptor was chosen, what the\n"
    "  slot returned and stored, and the PMIC bus traffic it caused.\n"
    "  SLOT [ARGS...]     a slot name and its UINT8 arguments (0-255, decimal or 0x hex);\n"
    "                     the tool passes the pointers and shows what the slot stored there.\n"
    "                     GetStatus1-3 take 'null' for their Status pointer\n"
    "  --list             the 25 slots with their C signatures, and whether the board's\n"
    "                     PMIC descriptor fills each one\n"
    "  --board, --trace, --vcd, --host, --image  as for run; the image's linker map (.map beside\n"
    "                     it) gives GetActivePmic's address\n"
    "  A board whose ACPI I/O window is closed gets it opened at 0x400 before the call, as the\n"
    "  module's entry leaves it: the library's waits read the PM timer behind it.\n"
    "  Exit status: 0 the slot returned; 1 the slot is not offered, or the call did not\n"
    "  return; 2 bad input.\n";

namespace {

[[noreturn]] void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

// The flags run and op share. False: Args[I] is none of them.
bool ParseCommonFlag(const std::vector<std::string>& Args, size_t& I, RunOptions& Options) {
  const std::string& arg = Args[I];
  auto value = [&]() -> const std::string& {
    if (I + 1 >= Args.size()) {
      BadInput(arg + " needs a value");
    }
    return Args[++I];
  };
  if (arg == "--help" || arg == "-h") {
    Options.Help = true;
  } else if (arg == "--board") {
    Options.Board = value();
  } else if (arg == "--trace") {
    Options.TracePath = value();
  } else if (arg == "--vcd") {
    Options.VcdPath = value();
  } else if (arg == "--host") {
    Options.Host = true;
  } else if (arg == "--image") {
    Options.ImagePath = value();
  } else {
    return false;
  }
  return true;
}

void CheckForm(const RunOptions& Options) {
  if (Options.Host && Options.ImagePath) {
    BadInput("--host and --image exclude each other");
  }
}

// Decimal or 0x hex, 0 to 255.
std::optional<uint8_t> ParseByte(const std::string& Text, bool& OutOfRange) {
  const bool negative = Text.starts_with('-');
  std::string_view digits(Text);
  digits.remove_prefix(negative ? 1 : 0);
  int base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  unsigned long long value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || end != digits.data() + digits.size() ||
      (error != std::errc{} && error != std::errc::result_out_of_range)) {
    OutOfRange = false;
    return std::nullopt;
  }
  OutOfRange = negative || error == std::errc::result_out_of_range || value > 0xFF;
  return OutOfRange ? std::nullopt : std::optional<uint8_t>(static_cast<uint8_t>(value));
}

tools::SlotRequest ParseSlot(const std::string& Name, const std::vector<std::string>& Arguments) {
  const std::optional<size_t> slot = tools::FindSlot(Name);
  if (!slot) {
    BadInput("no slot named '" + Name + "' (boardsim op --list shows the 25 slots)");
  }
  const tools::PmicSlot& pmicSlot = tools::PmicSlots[*slot];
  const tools::SlotSignature& signature = pmicSlot.Signature();
  const std::string name = pmicSlot.Name;
  const std::string withSignature = ": " + tools::CSignature(pmicSlot);
  tools::SlotRequest request{*slot, {}, false};

  if (signature.PointerCount() > 0) {
    if (Arguments.empty()) {
      return request;
    }
    if (Arguments.size() == 1 && Arguments[0] == "null") {
      if (!signature.TestsNull) {
        BadInput(name + " does not test its pointers, so null is refused" + withSignature);
      }
      request.NullPointer = true;
      return request;
    }
    BadInput(name + " takes no arguments" +
             (signature.TestsNull ? std::string(", or null for ") + signature.Pointers[0].Name
                                  : std::string(" (the tool passes its pointers)")) +
             ", got '" + Arguments[0] + "'" + (Arguments.size() > 1 ? " and more" : "") +
             withSignature);
  }

  const size_t expected = signature.ValueCount();
  if (Arguments.size() != expected) {
    BadInput(name + " takes " + std::to_string(expected) +
             (expected == 1 ? " argument" : " arguments") + ", got " +
             std::to_string(Arguments.size()) + withSignature);
  }
  for (size_t i = 0; i < expected; ++i) {
    bool outOfRange = false;
    const std::optional<uint8_t> value = ParseByte(Arguments[i], outOfRange);
    if (!value) {
      BadInput(
          std::string(signature.Values[i]) + " '" + Arguments[i] + "' " +
          (outOfRange ? "is out of range (UINT8: 0-255)" : "is not a number (decimal or 0x hex)") +
          withSignature);
    }
    request.Values.push_back(*value);
  }
  return request;
}

} // namespace

RunOptions ParseRunOptions(const std::vector<std::string>& Args) {
  RunOptions options;
  for (size_t i = 0; i < Args.size(); ++i) {
    if (!ParseCommonFlag(Args, i, options)) {
      BadInput("unknown option '" + Args[i] + "'");
    }
  }
  CheckForm(options);
  return options;
}

OpOptions ParseOpOptions(const std::vector<std::string>& Args) {
  OpOptions options;
  std::vector<std::string> words; // the slot name and its arguments
  for (size_t i = 0; i < Args.size(); ++i) {
    // "-1" is an argument (out of range), not an option.
    if (!Args[i].starts_with("--") && Args[i] != "-h") {
      words.push_back(Args[i]);
    } else if (Args[i] == "--list") {
      options.List = true;
    } else if (!ParseCommonFlag(Args, i, options.Run)) {
      BadInput("unknown option '" + Args[i] + "'");
    }
  }
  CheckForm(options.Run);
  if (options.Run.Help) {
    return options;
  }
  if (options.List) {
    if (!words.empty()) {
      BadInput("--list takes no slot, got '" + words[0] + "'");
    }
    return options;
  }
  if (words.empty()) {
    BadInput("op needs a slot name (boardsim op --list shows the 25 slots)");
  }
  options.Slot = ParseSlot(words[0], {words.begin() + 1, words.end()});
  return options;
}

std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir) {
  if (Board.find('/') != std::string::npos || Board.ends_with(".json")) {
    return Board;
  }
  const std::filesystem::path path = std::filesystem::path(BoardsDir) / (Board + ".json");
  if (!std::filesystem::exists(path)) {
    throw tools::ToolError("boardsim: no board named '" + Board + "' (looked for " + path.string() +
                               ")",
                           tools::ExitBadInput);
  }
  return path.string();
}

} // namespace boardsim

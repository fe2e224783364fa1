#include "common/ToolError.h"
#include "tools/boardsim/CommandLine.h"
#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/session/BoardInput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// " html FILE pads all" or " pads 0x0000:93 ...": the page and the pads asked for.
std::string PageAndPads(const std::optional<std::string>& Html,
                        const std::optional<std::vector<boardsim::PadRef>>& Pads,
                        bool ChangedOnly = false) {
  std::string parsed = Html ? " html " + *Html : "";
  if (Pads) {
    parsed += ChangedOnly ? " pads changed" : " pads";
    parsed += Pads->empty() ? " all" : "";
    for (const boardsim::PadRef& pad : *Pads) {
      parsed += " " + boardsim::FormatPadRef(pad);
    }
  }
  return parsed;
}

// What the command line came to, or the message it was refused with.
std::string Parse(const std::vector<std::string>& Args) {
  try {
    const boardsim::CommandLine line = boardsim::ParseCommandLine(Args);
    const boardsim::RunOptions& run = line.Which == boardsim::Command::Op ? line.Op.Run : line.Run;
    switch (line.Which) {
    case boardsim::Command::Print:
      return "print";
    case boardsim::Command::Version:
      return "version";
    case boardsim::Command::Boards:
      return "boards";
    case boardsim::Command::Board:
      return "board " + line.Board.Check;
    case boardsim::Command::Decode:
      return "decode " + line.Decode.TracePath + (line.Decode.Json ? " json" : "") +
             (line.Decode.Source ? " source" : "") +
             (line.Decode.ImagePath ? " image " + *line.Decode.ImagePath : "") +
             PageAndPads(line.Decode.HtmlPath, line.Decode.Pads, line.Decode.PadsChangedOnly);
    case boardsim::Command::Sweep: {
      const boardsim::SweepOptions& sweep = line.Sweep;
      std::string parsed = "sweep";
      for (const auto* list : {&sweep.Boards, &sweep.Slots, &sweep.Kinds}) {
        for (const std::string& word : *list) {
          parsed += " " + word;
        }
      }
      return parsed + " jobs " + std::to_string(sweep.Jobs) + " sample " +
             std::to_string(sweep.Sample) + (sweep.Host ? " host" : "") +
             (sweep.Json ? " json" : "") + PageAndPads(sweep.HtmlPath, std::nullopt);
    }
    case boardsim::Command::Run:
    case boardsim::Command::Op:
      break;
    }
    std::string parsed = "board " + run.Board + (run.Host ? " host" : "") +
                         (run.ImagePath ? " image " + *run.ImagePath : "") +
                         (run.TracePath ? " trace " + *run.TracePath : "") +
                         (run.VcdPath ? " vcd " + *run.VcdPath : "") + (run.Json ? " json" : "") +
                         (run.Source ? " source" : "") + (line.Op.List ? " list" : "") +
                         PageAndPads(run.HtmlPath, run.Pads, run.PadsChangedOnly);
    for (const std::string& fault : run.Faults) {
      parsed += " fault " + fault;
    }
    if (line.Op.Slot) {
      parsed += " slot " + std::to_string(line.Op.Slot->Slot);
      for (const uint8_t value : line.Op.Slot->Values) {
        // Appended in two steps: GCC 12 misreads `" " + std::to_string()` as an overlapping copy
        // (-Wrestrict) at -O2.
        parsed += ' ';
        parsed += std::to_string(value);
      }
      parsed += line.Op.Slot->NullPointer ? " null" : "";
    }
    return parsed;
  } catch (const tools::ToolError& error) {
    EXPECT_EQ(error.ExitStatus(), 2);
    return error.what();
  }
}

TEST(BoardsimOptions, RunAndDecodeTakeTheirOptionsOrSayWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"run"}, "board default"},
      {{"run", "--trace", "-", "--board", "no-pmic"}, "board no-pmic trace -"},
      {{"run", "--host", "--json", "--vcd", "pads.vcd"}, "board default host vcd pads.vcd json"},
      {{"run", "--image", "other.efi"}, "board default image other.efi"},
      {{"run", "--board=mine.json"}, "board mine.json"},
      {{"decode", "-", "--json"}, "decode - json"},
      {{"--version"}, "version"},
      {{"run", "--help"}, "print"},
      {{"run", "--bored", "x"}, "boardsim: unknown option '--bored'"},
      {{"run", "--board"}, "boardsim: --board needs a value"},
      {{"run", "--trace"}, "boardsim: --trace needs a value"},
      {{"run", "--image"}, "boardsim: --image needs a value"},
      {{"run", "--host", "--image", "x.efi"}, "boardsim: --host excludes --image"},
      {{"run", "--trace", "t", "--source"}, "board default trace t source"},
      {{"run", "--host", "--trace", "t", "--source"}, "boardsim: --host excludes --source"},
      {{"run", "--source"}, "boardsim: --source requires --trace"},
      {{"decode", "t", "--source", "--image", "x.efi"}, "decode t source image x.efi"},
      {{"decode", "t", "--source", "--json"}, "boardsim: --json excludes --source"},
      {{"decode", "t", "--image", "x.efi"}, "boardsim: --image requires --source"},
      {{"run", "x"}, "boardsim: unexpected argument 'x' (see boardsim run --help)"},
      {{"walk"}, "boardsim: unknown command 'walk' (see boardsim --help)"},
      {{},
       "boardsim: a command is needed: run, op, decode, sweep, boards or board (see boardsim "
       "--help)"},
      {{"boards"}, "boards"},
      {{"board", "--check", "mine.json"}, "board mine.json"},
      {{"board"}, "boardsim: --check is required"},
      {{"board", "--check", "mine.json", "x"},
       "boardsim: unexpected argument 'x' (see boardsim board --help)"},
      {{"run", "--fault", "byte-refused@3", "--fault=timer-frozen@9"},
       "board default fault byte-refused@3 fault timer-frozen@9"},
      {{"run", "--fault", "byte-refused@3", "timer-frozen@9"},
       "boardsim: unexpected argument 'timer-frozen@9': each fault point needs its own --fault"},
      {{"sweep", "--board", "a", "--board", "b", "--op", "GetLevel", "--kinds", "x,y", "--jobs",
        "3", "--sample", "40", "--host", "--json"},
       "sweep a b GetLevel x y jobs 3 sample 40 host json"},
      {{"sweep", "--jobs", "0"}, "boardsim: --jobs: Value 0 not in range 1 to 256"},
      {{"decode"}, "boardsim: decode needs a trace file, or '-' for standard input"},
      {{"decode", "--json", "--", "-x.trace"}, "decode -x.trace json"},
      {{"decode", "a", "--", "b"},
       "boardsim: unexpected argument 'b' (see boardsim decode --help)"},
      {{"run", "--host", "--", "x"}, "boardsim: unexpected argument 'x' (see boardsim run --help)"},
      {{"run", "--bo\x1B[2Jard"}, "boardsim: unknown option '--bo\\x1B[2Jard'"},
      // --pads takes the words that name pads, none or more; --html a file.
      {{"run", "--pads"}, "board default pads all"},
      {{"run", "--pads", "changed"}, "board default pads changed all"},
      {{"run", "--pads", "changed", "0x0000:93", "--host"},
       "board default host pads changed 0x0000:93"},
      {{"decode", "t.trace", "--pads", "changed"}, "decode t.trace pads changed all"},
      {{"run", "--pads", "0x0000:93", "4096:0x1", "--html", "p.html"},
       "board default html p.html pads 0x0000:93 0x1000:1"},
      {{"run", "--pads=0x2000:33", "--host"}, "board default host pads 0x2000:33"},
      {{"run", "--pads", "0x3000:1"},
       "boardsim: --pads: '0x3000:1': the community is 0x0000, 0x1000 or 0x2000"},
      {{"decode", "t.trace", "--pads", "--html", "-"}, "decode t.trace html - pads all"},
      {{"sweep", "--html", "s.html"}, "sweep jobs 0 sample 0 html s.html"},
      {{"sweep", "--pads"}, "boardsim: unknown option '--pads'"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(Parse(args), expected);
  }
}

// op's words may stand before or after its options.
std::string ParseOp(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "op");
  return Parse(Args);
}

TEST(BoardsimOptions, OpTakesASlotAndItsArgumentsOrSaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"ReadRegister", "0x03"}, "board default slot 0 3"},
      {{"--board", "no-pmic", "--host", "WriteRegister", "48", "0xFF"},
       "board no-pmic host slot 1 48 255"},
      {{"ReadVoltage"}, "board default slot 19"},
      {{"--pads", "0x1000:1", "WriteRegister", "48", "0xFF"},
       "board default pads 0x1000:1 slot 1 48 255"},
      {{"ReadVoltage", "--fault", "timer-frozen@2"}, "board default fault timer-frozen@2 slot 19"},
      {{"--board", "variant6", "--fault", "conversion-never-ends:0x5E", "ReadVoltage"},
       "board variant6 fault conversion-never-ends:0x5E slot 19"},
      {{"--fault", "byte-refused@1", "timer-frozen@2", "ReadVoltage"},
       "boardsim: unexpected argument 'timer-frozen@2': each fault point needs its own --fault"},
      {{"GetLevel", "--host"}, "board default host slot 23"},
      {{"GetStatus2"}, "board default slot 12"},
      {{"GetStatus2", "null"}, "board default slot 12 null"},
      {{"SetSelector", "0X2"}, "board default slot 22 2"},
      {{"--list", "--board", "mine.json"}, "board mine.json list"},
      {{"--help"}, "print"},
      {{}, "boardsim: op needs a slot name (boardsim op --list shows the 25 slots)"},
      {{"readregister", "3"},
       "boardsim: no slot named 'readregister' (boardsim op --list shows the 25 slots)"},
      {{"WriteRegister", "1"},
       "boardsim: WriteRegister takes 2 arguments, got 1: EFI_STATUS "
       "WriteRegister(UINT8 Register, UINT8 Value)"},
      {{"InitStep1", "1"},
       "boardsim: InitStep1 takes 0 arguments, got 1: EFI_STATUS "
       "InitStep1(VOID)"},
      {{"ReadRegister", "256"},
       "boardsim: Register '256' is out of range (UINT8: 0-255): UINT8 "
       "ReadRegister(UINT8 Register)"},
      {{"WriteAuxRegister", "1", "-1"},
       "boardsim: Value '-1' is out of range (UINT8: 0-255): EFI_STATUS WriteAuxRegister(UINT8 "
       "Register, UINT8 Value)"},
      {{"ReadRegister", "0x1FFFFFFFFFFFFFFFF"},
       "boardsim: Register '0x1FFFFFFFFFFFFFFFF' is out of range (UINT8: 0-255): UINT8 "
       "ReadRegister(UINT8 Register)"},
      {{"SetSelector", "two"},
       "boardsim: Selector 'two' is not a number (decimal or 0x hex): "
       "EFI_STATUS SetSelector(UINT8 Selector)"},
      {{"ReadRegister", "0x"},
       "boardsim: Register '0x' is not a number (decimal or 0x hex): UINT8 "
       "ReadRegister(UINT8 Register)"},
      {{"GetIdentity", "null"},
       "boardsim: GetIdentity does not test its pointers, so null is "
       "refused: EFI_STATUS GetIdentity(UINT8 *Id, UINT8 *Revision)"},
      {{"GetSelector", "null"},
       "boardsim: GetSelector does not test its pointers, so null is "
       "refused: EFI_STATUS GetSelector(UINT8 *Selector)"},
      {{"GetSelector", "3"},
       "boardsim: GetSelector takes no arguments (the tool passes its "
       "pointers), got '3': EFI_STATUS GetSelector(UINT8 *Selector)"},
      {{"GetStatus1", "0"},
       "boardsim: GetStatus1 takes no arguments, or null for Status, got "
       "'0': EFI_STATUS GetStatus1(UINT32 *Status)"},
      {{"--list", "GetLevel"}, "boardsim: --list takes no slot, got 'GetLevel'"},
      {{"--host", "--image", "x.efi", "Detect"}, "boardsim: --host excludes --image"},
      {{"--verbose", "Detect"}, "boardsim: unknown option '--verbose'"},
      {{"--board"}, "boardsim: --board needs a value"},
      {{"--host", "--", "ReadRegister", "3"}, "board default host slot 0 3"},
      {{"ReadRegister", "--", "3"}, "board default slot 0 3"},
      {{"--", "--list"},
       "boardsim: no slot named '--list' (boardsim op --list shows the 25 slots)"},
      {{"Read\nRegister"},
       "boardsim: no slot named 'Read\\x0ARegister' (boardsim op --list shows the 25 slots)"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(ParseOp(args), expected);
  }
}

TEST(BoardsimOptions, EveryHelpTextEndsNamingItsPageOfTheReference) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "boardsim.md"},
      {{"run", "--help"}, "run.md"},
      {{"op", "--help"}, "op.md"},
      {{"decode", "--help"}, "decode.md"},
      {{"sweep", "--help"}, "sweep.md"},
      {{"boards", "--help"}, "board-files.md"},
      {{"board", "--help"}, "board-files.md"},
  };
  for (const auto& [args, page] : cases) {
    EXPECT_TRUE(
        boardsim::ParseCommandLine(args).Printed.ends_with("\nReference: docs/" + page + "\n"))
        << args.front();
    EXPECT_TRUE(std::filesystem::is_regular_file(std::string(BOARDINIT_DOCS_DIR) + "/" + page))
        << page;
  }
}

TEST(BoardsimOptions, BareNamesLiveInTheBoardsFolder) {
  EXPECT_EQ(boardsim::ResolveBoardPath("default", BOARDINIT_BOARDS_DIR),
            std::string(BOARDINIT_BOARDS_DIR) + "/default.json");
  EXPECT_EQ(boardsim::ResolveBoardPath("./mine.json", "/unused"), "./mine.json");
  EXPECT_EQ(boardsim::ResolveBoardPath("other.json", "/unused"), "other.json");
  try {
    boardsim::ResolveBoardPath("no-such-board", BOARDINIT_BOARDS_DIR);
    ADD_FAILURE() << "accepted";
  } catch (const tools::ToolError& error) {
    EXPECT_EQ(error.ExitStatus(), 2);
    EXPECT_NE(std::string(error.what()).find("no board named 'no-such-board'"), std::string::npos);
  }
}

// Installed (bin/boardsim beside share/boardinit/), the tool takes its boards and image from its
// own prefix, even when only one of them is left; otherwise from the build tree.
TEST(BoardsimOptions, AnInstalledToolFindsItsDataInItsOwnPrefix) {
  const std::filesystem::path prefix = std::filesystem::path(::testing::TempDir()) / "prefix";
  const boardsim::Installation relative{"../share/boardinit/boards",
                                        "../share/boardinit/firmware/boardinit.efi"};
  const boardsim::Installation buildTree{"/build/boards", "/build/image/boardinit.efi"};
  const boardsim::Installation installed{
      (prefix / "share/boardinit/boards").string(),
      (prefix / "share/boardinit/firmware/boardinit.efi").string()};
  const struct {
    const char* Present; // below the prefix, besides bin/
    const boardsim::Installation& Found;
  } cases[] = {{"", buildTree},
               {"share/boardinit/boards/", installed},
               {"share/boardinit/firmware/boardinit.efi", installed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Present);
    std::filesystem::remove_all(prefix);
    std::filesystem::create_directories(prefix / "bin");
    const std::string present = c.Present;
    if (present.ends_with('/')) {
      std::filesystem::create_directories(prefix / present);
    } else if (!present.empty()) {
      std::filesystem::create_directories((prefix / present).parent_path());
      std::ofstream(prefix / present) << "MZ";
    }
    const boardsim::Installation found =
        boardsim::FindInstallation(prefix / "bin/boardsim", relative, buildTree);
    EXPECT_EQ(found.BoardsDir, c.Found.BoardsDir);
    EXPECT_EQ(found.BuiltImage, c.Found.BuiltImage);
  }
  std::filesystem::remove_all(prefix);
}

} // namespace

#include "tools/boardsim/Options.h"
#include "tools/run/ToolError.h"

#include <gtest/gtest.h>

namespace {

TEST(BoardsimOptions, DefaultsAndFlags) {
  const auto none = boardsim::ParseRunOptions({});
  EXPECT_EQ(none.Board, "default");
  EXPECT_FALSE(none.TracePath);
  const auto both = boardsim::ParseRunOptions({"--trace", "-", "--board", "no-pmic"});
  EXPECT_EQ(both.Board, "no-pmic");
  EXPECT_EQ(both.TracePath, "-");
  EXPECT_FALSE(none.Host);
  EXPECT_FALSE(none.ImagePath);
  EXPECT_TRUE(boardsim::ParseRunOptions({"--host"}).Host);
  EXPECT_EQ(boardsim::ParseRunOptions({"--image", "other.efi"}).ImagePath, "other.efi");
}

TEST(BoardsimOptions, BadFlagsAreRefusedWithExitStatus2) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bored", "x"}, {"--board"}, {"--trace"}, {"--image"}, {"--host", "--image", "x.efi"}};
  for (const auto& args : bad) {
    try {
      boardsim::ParseRunOptions(args);
      ADD_FAILURE() << "accepted " << args[0];
    } catch (const tools::ToolError& error) {
      EXPECT_EQ(error.ExitStatus(), 2);
      EXPECT_NE(std::string(error.what()).find(args[0]), std::string::npos);
    }
  }
}

// What ParseOpOptions made of a command line, or the message it refused it with.
std::string ParseOp(const std::vector<std::string>& Args) {
  try {
    const boardsim::OpOptions options = boardsim::ParseOpOptions(Args);
    std::string parsed = "board " + options.Run.Board + (options.Run.Host ? " host" : "") +
                         (options.Run.Help ? " help" : "") + (options.List ? " list" : "");
    if (options.Slot) {
      parsed += " slot " + std::to_string(options.Slot->Slot);
      for (const uint8_t value : options.Slot->Values) {
        parsed += " " + std::to_string(value);
      }
      parsed += options.Slot->NullPointer ? " null" : "";
    }
    return parsed;
  } catch (const tools::ToolError& error) {
    EXPECT_EQ(error.ExitStatus(), 2);
    return error.what();
  }
}

TEST(BoardsimOptions, OpTakesASlotAndItsArgumentsOrSaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"ReadRegister", "0x03"}, "board default slot 0 3"},
      {{"--board", "no-pmic", "--host", "WriteRegister", "48", "0xFF"},
       "board no-pmic host slot 1 48 255"},
      {{"ReadVoltage"}, "board default slot 19"},
      {{"GetLevel", "--host"}, "board default host slot 23"},
      {{"GetStatus2"}, "board default slot 12"},
      {{"GetStatus2", "null"}, "board default slot 12 null"},
      {{"SetSelector", "0X2"}, "board default slot 22 2"},
      {{"--list", "--board", "mine.json"}, "board mine.json list"},
      {{"--help"}, "board default help"},
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
      {{"--host", "--image", "x.efi", "Detect"}, "boardsim: --host and --image exclude each other"},
      {{"--verbose", "Detect"}, "boardsim: unknown option '--verbose'"},
      {{"--board"}, "boardsim: --board needs a value"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(ParseOp(args), expected);
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

} // namespace

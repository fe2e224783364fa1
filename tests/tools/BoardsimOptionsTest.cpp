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

#include "tools/boardsim/session/RunModule.h"

#include "common/ToolError.h"
#include "sim/Soc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(RunModuleTest, RunsTheBuiltImageUnlessToldOtherwise) {
  struct Case {
    boardsim::RunOptions Options;
    std::string Module;
  };
  boardsim::RunOptions host;
  host.Host = true;
  boardsim::RunOptions named;
  named.ImagePath = BOARDINIT_IMAGE_AGAIN;
  for (const Case& c : {Case{{}, std::string("image ") + BOARDINIT_IMAGE}, Case{host, "host build"},
                        Case{named, std::string("image ") + BOARDINIT_IMAGE_AGAIN}}) {
    SCOPED_TRACE(c.Module);
    sim::Soc soc(sim::BoardConfig{});
    const boardsim::ModuleRun run = boardsim::RunModule(c.Options, soc, BOARDINIT_IMAGE);
    EXPECT_EQ(run.Module, c.Module);
    EXPECT_EQ(run.Result.Status, 0u) << run.Result.Failure;
    EXPECT_FALSE(soc.Bus.GetTrace().Accesses().empty());
  }
}

TEST(RunModuleTest, AnImageThatDoesNotLoadIsBadInputAndNothingRuns) {
  const std::string path = ::testing::TempDir() + "run-module-not-an-image.efi";
  std::ofstream(path) << "MZ but nothing more";
  boardsim::RunOptions options;
  options.ImagePath = path;
  sim::Soc soc(sim::BoardConfig{});
  try {
    boardsim::RunModule(options, soc, BOARDINIT_IMAGE);
    ADD_FAILURE() << "ran";
  } catch (const tools::ToolError& error) {
    EXPECT_EQ(error.ExitStatus(), 2);
    EXPECT_EQ(std::string(error.what()),
              "boardsim: " + path + ": not a PE image: no DOS header with the MZ signature");
  }
  EXPECT_TRUE(soc.Bus.GetTrace().Accesses().empty());
  std::filesystem::remove(path);
}

// The host form never hands the module a list it would walk astray in (here onto a misaligned
// header), whoever built the list.
TEST(RunModuleTest, AHostHandOffWhoseWalkGoesAstrayIsBadInputAndNothingRuns) {
  boardsim::RunOptions options;
  options.Host = true;
  sim::BoardConfig config;
  config.Hobs = {{.Type = 0x0002, .HobLengthOverride = 12}};
  sim::Soc soc(config);
  try {
    boardsim::RunModule(options, soc, BOARDINIT_IMAGE);
    ADD_FAILURE() << "ran";
  } catch (const tools::ToolError& error) {
    EXPECT_EQ(error.ExitStatus(), 2);
    EXPECT_EQ(std::string(error.what()).rfind("HOB list: HOB 0 has a HobLength of 12", 0), 0u)
        << error.what();
  }
  EXPECT_TRUE(soc.Bus.GetTrace().Accesses().empty());
}

// The image form finds GetActivePmic by name in the linker map beside the image.
TEST(RunModuleTest, ASlotCallNeedsGetActivePmicInTheMapBesideTheImage) {
  const std::string copy = ::testing::TempDir() + "run-module-without-map.efi";
  std::filesystem::copy_file(BOARDINIT_IMAGE, copy,
                             std::filesystem::copy_options::overwrite_existing);
  const std::string probeMap =
      std::filesystem::path(BOARDINIT_DIVIDE_PROBE_IMAGE).replace_extension(".map").string();
  const std::pair<std::string, std::string> cases[] = {
      {copy, "boardsim: " + ::testing::TempDir() +
                 "run-module-without-map.map: linker map: cannot open: No such file or directory "
                 "(name the image's linker map with --map)"},
      {BOARDINIT_DIVIDE_PROBE_IMAGE, "boardsim: " + probeMap + ": no _GetActivePmic in the map"},
  };
  for (const auto& [image, message] : cases) {
    boardsim::RunOptions options;
    options.ImagePath = image;
    sim::Soc soc(sim::BoardConfig{});
    try {
      boardsim::CallSlot(options, soc, BOARDINIT_IMAGE, tools::SlotRequest{});
      ADD_FAILURE() << "called with " << image;
    } catch (const tools::ToolError& error) {
      EXPECT_EQ(error.ExitStatus(), 2);
      EXPECT_EQ(std::string(error.what()), message);
    }
    EXPECT_TRUE(soc.Bus.GetTrace().Accesses().empty());
  }
  std::filesystem::remove(copy);
}

} // namespace

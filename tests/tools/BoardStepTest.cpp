#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/render/StepLines.h"

#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/boardsim/session/RunModule.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* Board;
  const char* Selection;
  std::vector<std::string> Steps;
};

// Built-in boards, run on the host build and as the image: the summary's reading of each board
// step.
TEST(BoardStep, SummaryTellsSelectionAndEveryEffectOfTheStep) {
  const Case cases[] = {
      {"default",
       "variant 5, detected: 0x34 reg 0x03 -> 0x41 accepted",
       {"PMIC 0x34 register 0x30 read 0x05", "pad 93 of 0x0000 reads low",
        "PMIC 0x34 register 0x30 written 0x85", "pad 1 of 0x1000 driven high at 0.397 ms",
        "pad 33 of 0x2000 driven low at 100.398 ms"}},
      {"variant5-pad93-high",
       "variant 5, detected: 0x34 reg 0x03 -> 0x41 accepted",
       {"PMIC 0x34 register 0x30 read 0x85", "pad 93 of 0x0000 reads high",
        "PMIC 0x34 register 0x30 written 0x05", "pad 1 of 0x1000 driven high at 0.395 ms",
        "pad 33 of 0x2000 driven low at 100.398 ms"}},
      {"no-pmic",
       "variant 0xFE (fallback), detected: 0x34 reg 0x03 no answer, 0x5E reg 0x00 no answer, "
       "0x6E reg 0x00 no answer, none accepted",
       {"pad 33 of 0x2000 driven low at 100.277 ms"}},
      {"hob-variant5",
       "variant 5, from the descriptor HOB",
       {"PMIC 0x34 register 0x30 read (no answer)", "pad 93 of 0x0000 reads low",
        "pad 1 of 0x1000 driven high at 0.178 ms", "pad 33 of 0x2000 driven low at 100.181 ms"}},
      // The descriptor HOB past the end marker is never reached: detection decides.
      {"hob-past-end",
       "variant 5, detected: 0x34 reg 0x03 -> 0x41 accepted",
       {"PMIC 0x34 register 0x30 read 0x05", "pad 93 of 0x0000 reads low",
        "PMIC 0x34 register 0x30 written 0x85", "pad 1 of 0x1000 driven high at 0.397 ms",
        "pad 33 of 0x2000 driven low at 100.398 ms"}},
  };
  for (const Case& c : cases) {
    const sim::BoardConfig config =
        sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + c.Board + ".json");
    for (const bool host : {true, false}) {
      SCOPED_TRACE(std::string(c.Board) + (host ? " on the host build" : " as the image"));
      sim::Soc soc(config);
      boardsim::RunOptions options;
      options.Host = host;
      const boardsim::ModuleRun run = boardsim::RunModule(options, soc, BOARDINIT_IMAGE);
      ASSERT_TRUE(run.Result.Status) << run.Result.Failure;
      const boardsim::BoardStepReport report =
          boardsim::DescribeBoardStep(soc.Bus.GetTrace().Accesses());
      EXPECT_EQ(boardsim::DescribeSelection(report.Selection), c.Selection);
      EXPECT_EQ(boardsim::DescribeSteps(report.Steps), c.Steps);
    }
  }
}

// The selection line is read from the trace: the board description says what is fitted, not what
// the module made of it.
TEST(BoardStep, SelectionSaysWhyForEveryVariant) {
  struct Selection {
    const char* Board; // the body of a board file
    const char* Line;
  };
  const Selection cases[] = {
      {R"("i2c_devices": [{"address": "0x5E", "registers": {"0x00": "0xC8"}}])",
       "variant 6, detected: 0x34 reg 0x03 no answer, 0x5E reg 0x00 -> 0xC8 accepted"},
      {R"("i2c_devices": [{"address": "0x6E", "registers": {"0x00": "0x2B"}},
                          {"address": "0x5E", "registers": {"0x00": "0x12"}}])",
       "variant 1, detected: 0x34 reg 0x03 no answer, 0x5E reg 0x00 -> 0x12, "
       "0x6E reg 0x00 -> 0x2B accepted"},
      {R"("i2c_devices": [{"address": "0x6E", "registers": {"0x00": "0x55"}}])",
       "variant 0xFE (fallback), detected: 0x34 reg 0x03 no answer, 0x5E reg 0x00 no answer, "
       "0x6E reg 0x00 -> 0x55, none accepted"},
      {R"("i2c_devices": [{"address": "0x34", "model": "pmic-variant5"},
                          {"address": "0x5E", "registers": {"0x00": "0xC8"}}])",
       "variant 5, detected: 0x34 reg 0x03 -> 0x41 accepted"},
      {R"("i2c_controller": {"present": false})",
       "variant 0xFE (fallback), detected: no identification read reached the PMIC bus, none "
       "accepted"},
      {R"("hobs": [{"kind": "pmic-descriptor", "variant": 6, "i2c_address": "0x5E"}],
          "i2c_devices": [{"address": "0x34", "model": "pmic-variant5"}])",
       "a variant other than 5, from the descriptor HOB"},
  };
  for (const Selection& c : cases) {
    SCOPED_TRACE(c.Board);
    const sim::BoardConfig config =
        sim::ParseBoardText(std::string("{") + c.Board + "}", "selection.json");
    sim::Soc soc(config);
    ASSERT_TRUE(tools::RunHostModule(soc.Bus, {.Hobs = config.Hobs}).Status);
    EXPECT_EQ(boardsim::DescribeSelection(
                  boardsim::DescribeBoardStep(soc.Bus.GetTrace().Accesses()).Selection),
              c.Line);
  }
}

// A run stopped inside selection says so, whether it stopped before the first read, with a read
// under way on a device that is fitted, or waiting for the semaphore; the step shows nothing yet.
TEST(BoardStep, SelectionCutShortByABudgetSaysItDidNotFinish) {
  struct Stop {
    uint64_t AccessBudget;
    uint64_t TimeBudgetMs;
    bool NeverGrants;
    const char* Line;
  };
  const Stop cases[] = {
      {742, 30'000, false, "selection did not finish: no identification read reached the PMIC bus"},
      {850, 30'000, false, "selection did not finish: 0x34 reg 0x03 cut short"},
      {900, 30'000, false, "selection did not finish: 0x34 reg 0x03 cut short"},
      {100'000'000, 200, true,
       "selection did not finish: no identification read reached the PMIC bus"},
  };
  sim::BoardConfig config = sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/default.json");
  for (const Stop& c : cases) {
    SCOPED_TRACE(c.Line);
    config.AccessBudget = c.AccessBudget;
    config.TimeBudgetMs = c.TimeBudgetMs;
    config.Punit.NeverGrants = c.NeverGrants;
    sim::Soc soc(config);
    ASSERT_FALSE(tools::RunHostModule(soc.Bus, {.Hobs = config.Hobs}).Status);
    const boardsim::BoardStepReport report =
        boardsim::DescribeBoardStep(soc.Bus.GetTrace().Accesses());
    EXPECT_EQ(boardsim::DescribeSelection(report.Selection), c.Line);
    EXPECT_TRUE(report.Steps.empty());
  }
}

TEST(BoardStep, TransactionsSayWhetherTheSemaphoreWasHeld) {
  sim::decode::BusActivity bus;
  bus.I2c = {{.TimeNs = 1000,
              .Device = 0x34,
              .Read = true,
              .HasRegister = true,
              .Register = 3,
              .HasValue = true,
              .Value = 0x41,
              .Stopped = true},
             {.TimeNs = 5000,
              .Device = 0x6E,
              .HasRegister = true,
              .Register = 0x10,
              .HasValue = true,
              .Value = 0x02,
              .Stopped = true,
              .Aborted = true}};
  bus.Holds = {{.Granted = true, .AcquireNs = 500, .Released = true, .ReleaseNs = 2000}};
  EXPECT_EQ(boardsim::DescribeTransactions(bus),
            (std::vector<std::string>{
                "0.001 ms  read  0x34 reg 0x03 -> 0x41  under semaphore",
                "0.005 ms  write 0x6E reg 0x10 <- 0x02  aborted (no acknowledge)"}));
}

} // namespace

#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/render/PadLines.h"

#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/Activity.h"
#include "tools/boardsim/analysis/RunPhases.h"
#include "tools/boardsim/session/RunModule.h"

#include <gtest/gtest.h>

namespace {

using namespace boardsim;

TEST(PadView, FieldsReadAsThePadEngineMergesThem) {
  const struct {
    uint32_t Config;
    uint32_t Value;
    const char* Fields;
  } cases[] = {
      {0x20038000, 0x2, "mode 0 (GPIO), input, low, pull off, nibble 0"}, // reset state
      {0x26038500, 0x2, "mode 0 (GPIO), input, low, pull 1, nibble 6"},
      {0x2003CC81, 0x1, "mode 1, output, high, pull 0, nibble 0"},
      {0x2003ED03, 0x6, "mode 3, off, low, pull 1, nibble 0"},
      {0x25038283, 0x4, "mode 3, direction 4, low, pull 2, nibble 5"},
      {0x00000180, 0x3, "mode 0 (GPIO), input, high, pull bits 0x3, nibble 0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeFields(DecodePad(c.Config, c.Value)), c.Fields) << std::hex << c.Config;
  }
}

TEST(PadView, APadIsNamedByItsCommunityAndNumber) {
  const struct {
    const char* Text;
    const char* Error; // nullptr: accepted as 0x1000:25
  } cases[] = {
      {"0x1000:25", nullptr},
      {"4096:0x19", nullptr},
      {"0x1000", "a pad is COMMUNITY:PAD, such as 0x0000:93"},
      {"0x1000:x", "a pad is COMMUNITY:PAD, such as 0x0000:93"},
      {"0x0800:25", "the community is 0x0000, 0x1000 or 0x2000"},
      {"0x3000:25", "the community is 0x0000, 0x1000 or 0x2000"},
      {"0x1000:256", "a community's pads are 0 to 255"},
  };
  for (const auto& c : cases) {
    PadRef pad{};
    std::string error;
    EXPECT_EQ(ParsePadRef(c.Text, pad, error), c.Error == nullptr) << c.Text;
    EXPECT_EQ(c.Error ? error : FormatPadRef(pad), c.Error ? c.Error : "0x1000:25") << c.Text;
  }
}

// The default board's boot on the host build, its parts and its pads.
class DefaultBoot : public testing::Test {
protected:
  void SetUp() override {
    soc = std::make_unique<sim::Soc>(
        sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/default.json"));
    before = SnapshotPads(soc->Gpio);
    RunOptions options;
    options.Host = true;
    ASSERT_TRUE(RunModule(options, *soc, BOARDINIT_IMAGE).Result.Status);
    phases = FindPhases(Trace(), sim::decode::DecodeBus(Trace()), soc->Bus.GetClock().NowNs());
  }
  const std::vector<sim::Access>& Trace() const { return soc->Bus.GetTrace().Accesses(); }

  std::unique_ptr<sim::Soc> soc;
  std::vector<PadState> before;
  std::vector<Phase> phases;
};

TEST_F(DefaultBoot, PartsCoverTheRunInOrder) {
  std::vector<std::string> names;
  for (const Phase& phase : phases) {
    names.push_back(PhaseName(phase));
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"entry", "early pads", "GPIO pass: I/O ports, pads 58 and 25",
                                      "GPIO pass: table 0x1000", "GPIO pass: table 0x0000",
                                      "GPIO pass: table 0x2000", "GPIO pass: pads after the tables",
                                      "selection", "controller bring-up", "selection", "board step",
                                      "settle delay", "board step"}));
  EXPECT_EQ(phases.front().StartNs, 0u);
  EXPECT_EQ(phases.back().EndNs, soc->Bus.GetClock().NowNs());
  for (size_t i = 1; i < phases.size(); ++i) {
    EXPECT_EQ(phases[i].StartNs, phases[i - 1].EndNs) << names[i];
    EXPECT_EQ(phases[i].FirstSeq, phases[i - 1].LastSeq + 1) << names[i];
  }
  // The settle delay is 100 ms of timer reads, which the trace did not keep.
  EXPECT_GE(phases[11].EndNs - phases[11].StartNs, 100'000'000u);
  EXPECT_GE(phases[11].LastSeq - phases[11].FirstSeq, 100'000u);
  // Every access, kept or not, falls in one stretch of one device.
  uint64_t counted = 0;
  for (const ActivitySpan& span : FindActivity(Trace())) {
    counted += span.Reads + span.Writes;
  }
  EXPECT_EQ(counted, soc->Bus.GetTrace().Count());
}

TEST_F(DefaultBoot, EveryAccessToAPadIsNamedWithThePartAndRowThatMadeIt) {
  const struct {
    PadRef Pad;
    std::vector<std::string> Accesses; // op, register, part
  } cases[] = {
      // Written whole at entry, then adjusted by its row.
      {{0x0000, 33},
       {"W 0 early pads", "R 8 GPIO pass: table 0x0000 row 78",
        "W 8 GPIO pass: table 0x0000 row 78", "R 0 GPIO pass: table 0x0000 row 78",
        "W 0 GPIO pass: table 0x0000 row 78"}},
      // Its row's configuration replaced after the tables.
      {{0x0000, 51},
       {"R 8 GPIO pass: table 0x0000 row 26", "W 8 GPIO pass: table 0x0000 row 26",
        "R 0 GPIO pass: table 0x0000 row 26", "W 0 GPIO pass: table 0x0000 row 26",
        "W 0 GPIO pass: pads after the tables"}},
      // Read by the board step; pad 33 of 0x2000 cleared after the settle delay.
      {{0x0000, 93},
       {"R 8 GPIO pass: table 0x0000 row 2", "W 8 GPIO pass: table 0x0000 row 2",
        "R 0 GPIO pass: table 0x0000 row 2", "W 0 GPIO pass: table 0x0000 row 2",
        "R 8 board step"}},
      {{0x2000, 33},
       {"R 8 GPIO pass: table 0x2000 row 1", "W 8 GPIO pass: table 0x2000 row 1",
        "R 0 GPIO pass: table 0x2000 row 1", "W 0 GPIO pass: table 0x2000 row 1", "R 8 board step",
        "W 8 board step"}},
      // No row names it, nothing accesses it.
      {{0x0000, 94}, {}},
  };
  std::vector<PadRef> wanted;
  for (const auto& c : cases) {
    wanted.push_back(c.Pad);
  }
  const std::vector<PadRecord> view =
      ViewPads(Trace(), phases, before, SnapshotPads(soc->Gpio), wanted);
  ASSERT_EQ(view.size(), std::size(cases));
  for (size_t i = 0; i < view.size(); ++i) {
    SCOPED_TRACE(FormatPadRef(cases[i].Pad));
    std::vector<std::string> accesses;
    for (const PadAccess& a : view[i].Accesses) {
      accesses.push_back(std::string(sim::OpName(a.Access.Op)) + " " +
                         std::to_string(a.Access.Address % 16) + " " + a.Part +
                         (a.Row ? " row " + std::to_string(*a.Row) : ""));
    }
    EXPECT_EQ(accesses, cases[i].Accesses);
    EXPECT_EQ(view[i].Row.has_value(), !cases[i].Accesses.empty());
  }
  // Pad 1 of 0x1000: an output its row leaves low, driven high by the board step.
  const PadRecord pad1 =
      ViewPads(Trace(), phases, before, SnapshotPads(soc->Gpio), {{0x1000, 1}}).front();
  EXPECT_EQ(pad1.Before, (PadWords{0x20038000, 0x2}));
  EXPECT_EQ(pad1.After, (PadWords{0x20038000, 0x1}));
  // A trace alone knows what the first reads found and what the last accesses left.
  const PadRecord fromTrace = ViewPads(Trace(), phases, {}, {}, {{0x1000, 1}}).front();
  EXPECT_EQ(fromTrace.Before, pad1.Before);
  EXPECT_EQ(fromTrace.After, pad1.After);
  EXPECT_EQ(ViewPads(Trace(), phases, {}, {}, {{0x0000, 33}}).front().Before,
            (PadWords{std::nullopt, 0x2}));
}

} // namespace

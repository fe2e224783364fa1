#include "entry/ModuleEntry.h"
#include "support/PmicBoardFixture.h"

using namespace testsupport;

namespace {

// Value registers of the pads the step reads or drives.
constexpr uint32_t Pad93 = 0xFED0C5D8; // input; bit 7 of register 0x30 follows its level, inverted
constexpr uint32_t Pad22 = 0xFED0E168; // raised when pad 93 is low
constexpr uint32_t Pad3 = 0xFED0D038;  // lowered when pad 93 is low
constexpr uint32_t Pad1 = 0xFED0D018;  // raised on a variant-5 board
constexpr uint32_t Pad33 = 0xFED0E218; // lowered on every board

class PostGpioSetupTest : public PmicBoardTest {
protected:
  uint32_t Pad(uint32_t Address) const { return soc->Gpio.Peek(Address - sim::GpioBlockBase); }
  void Preset(uint32_t Address, uint32_t Value) {
    soc->Gpio.Preset(Address - sim::GpioBlockBase, Value);
  }
  // Pads 1 and 33 start with other bits set, so that a change beyond bit 0 shows.
  void RunStep() {
    Preset(Pad1, 0xA02);
    Preset(Pad33, 0xA03);
    PostGpioSetup();
  }
  const std::vector<std::string> Pad1Raised = {PadRd(Pad1, 0xA02), PadWr(Pad1, 0xA03)};
  const std::vector<std::string> SettleThenPad33 = {Settle, PadRd(Pad33, 0xA03),
                                                    PadWr(Pad33, 0xA02)};
  const std::vector<std::string> Detected = Locked({{Rd(0x34, 0x03, 0x41)}});
};

TEST_F(PostGpioSetupTest, OnVariantFiveRegister30FollowsPad93) {
  struct Case {
    const char* Name;
    bool Handed; // the descriptor comes in a HOB, whose copy has null slots
    bool Fitted;
    bool Pad93High;
    uint32_t Pad22Before, Pad3Before;
    std::vector<std::string> Pads; // between the read of pad 93 and the write of 0x30
    uint8_t Before;
    int After; // -1: not written, its read having failed
  };
  const std::vector<std::string> tableState = {PadRd(Pad22, 0xC01), PadRd(Pad3, 0xC02)};
  const std::vector<std::string> otherState = {PadRd(Pad22, 0xC00), PadWr(Pad22, 0xC01),
                                               PadRd(Pad3, 0xC03), PadWr(Pad3, 0xC02)};
  const Case cases[] = {
      {"low, pads as the tables leave them", false, true, false, 0xC01, 0xC02, tableState, 0x5A,
       0xDA},
      {"low, pads the other way", false, true, false, 0xC00, 0xC03, otherState, 0x05, 0x85},
      {"high", false, true, true, 0xC00, 0xC03, {}, 0xA5, 0x25},
      {"high, bit 7 already clear", false, true, true, 0xC00, 0xC03, {}, 0x7F, 0x7F},
      {"handed over", true, true, false, 0xC00, 0xC03, otherState, 0x11, 0x91},
      // Bits never read are not written back; the pads are driven all the same.
      {"handed over, silent, low", true, false, false, 0xC01, 0xC02, tableState, 0, -1},
      {"handed over, silent, high", true, false, true, 0xC01, 0xC02, {}, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    if (c.Fitted) {
      Fit(0x34, "pmic-variant5", {{0x30, c.Before}});
    }
    Config.PadLevels = {{0, 93, c.Pad93High}};
    Handoff.Hobs = c.Handed ? std::vector{OtherHob(0x0002, 0), DescriptorHob(5)}
                            : std::vector<sim::HobEntry>{};
    Install();
    Preset(Pad22, c.Pad22Before);
    Preset(Pad3, c.Pad3Before);
    RunStep();
    EXPECT_EQ(Events(),
              Concat({c.Handed ? std::vector<std::string>{} : Detected,
                      Locked({{c.Fitted ? Rd(0x34, 0x30, c.Before) : RdFailed(0x34, 0x30)}}),
                      {PadRd(Pad93, c.Pad93High ? 0x3 : 0x2)},
                      c.Pads,
                      c.After >= 0 ? Locked({{Wr(0x34, 0x30, static_cast<uint8_t>(c.After))}})
                                   : std::vector<std::string>{},
                      Pad1Raised,
                      SettleThenPad33}));
    if (c.Fitted) {
      EXPECT_EQ(Pmic34().Peek(0x30), c.After);
    }
  }
}

TEST_F(PostGpioSetupTest, OtherVariantsOnlyWaitAndLowerPad33) {
  const std::pair<const char*, std::vector<sim::HobEntry>> cases[] = {
      {"nothing answers", {}},
      {"variant 1 handed over", {DescriptorHob(1)}},
      {"variant 6 handed over", {DescriptorHob(6)}},
      {"fallback handed over", {DescriptorHob(0xFE)}},
  };
  for (const auto& [name, hobs] : cases) {
    SCOPED_TRACE(name);
    Config.I2cDevices.clear();
    if (!hobs.empty()) {
      Fit(0x34, "pmic-variant5"); // there, but not the active PMIC
    }
    Handoff.Hobs = hobs;
    Install();
    RunStep();
    const auto detection = hobs.empty() ? NobodyAnswers : std::vector<std::string>{};
    EXPECT_EQ(Events(), Concat({detection, SettleThenPad33}));
    EXPECT_GE(soc->Bus.GetClock().NowNs(), 100'000'000u);
  }
}

// Each drive reads its value register once: the pad engine's re-reads are not the step's. A read
// of all ones is nothing answering, and that register is left as it is, whatever the drive.
TEST_F(PostGpioSetupTest, ReadsEachPadOnceAndLeavesOneThatDoesNotAnswer) {
  const std::string silent22 = PadRd(Pad22, 0xFFFFFFFF), silent3 = PadRd(Pad3, 0xFFFFFFFF),
                    silent1 = PadRd(Pad1, 0xFFFFFFFF), silent33 = PadRd(Pad33, 0xFFFFFFFF);
  const std::vector<std::string> pad22 = {PadRd(Pad22, 0xC00), PadWr(Pad22, 0xC01)};
  const std::vector<std::string> pad3 = {PadRd(Pad3, 0xC03), PadWr(Pad3, 0xC02)};
  const std::pair<uint32_t, std::vector<std::string>> cases[] = {
      {Pad22, Concat({{silent22}, pad3, Pad1Raised, SettleThenPad33})},
      {Pad3, Concat({pad22, {silent3}, Pad1Raised, SettleThenPad33})},
      {Pad1, Concat({pad22, pad3, {silent1, Settle}, {PadRd(Pad33, 0xA03), PadWr(Pad33, 0xA02)}})},
      {Pad33, Concat({pad22, pad3, Pad1Raised, {Settle, silent33}})},
  };
  for (const auto& [silent, pads] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << silent);
    Config.I2cDevices.clear();
    Fit(0x34, "pmic-variant5", {{0x30, 0x05}});
    Config.PadLevels = {{0, 93, false}};
    Config.PadFaults = {{silent, 6}};
    Install();
    Preset(Pad22, 0xC00);
    Preset(Pad3, 0xC03);
    RunStep();
    const std::vector<std::string> events = Events();
    const std::vector<std::string> head =
        Concat({Detected, Locked({{Rd(0x34, 0x30, 0x05)}}), {PadRd(Pad93, 0x2)}});
    ASSERT_GT(events.size(), head.size() + 3);
    std::vector<std::string> rest(events.begin() + head.size(), events.end());
    // The write of 0x30 and its hold sit between pad 3 and pad 1; only the pads are compared.
    std::erase_if(rest, [](const std::string& E) { return !E.starts_with("pad ") && E != Settle; });
    EXPECT_EQ(std::vector(events.begin(), events.begin() + head.size()), head);
    EXPECT_EQ(rest, pads);
  }
}

TEST_F(PostGpioSetupTest, TheEntryEndsWithTheBoardStep) {
  Config.AcpiBase = 0;
  Fit(0x34, "pmic-variant5", {{0x30, 0x05}});
  Config.PadLevels = {{0, 93, false}};
  Install();
  EXPECT_EQ(ModuleEntry(nullptr, nullptr), EFI_SUCCESS);

  // The tables leave pad 22 high and pad 3 low, so the step only reads them.
  EXPECT_EQ(Pad(Pad22) & 1, 1u);
  EXPECT_EQ(Pad(Pad3) & 1, 0u);
  const std::vector<std::string> expected =
      Concat({Detected,
              Locked({{Rd(0x34, 0x30, 0x05)}}),
              {PadRd(Pad93, Pad(Pad93)), PadRd(Pad22, Pad(Pad22)), PadRd(Pad3, Pad(Pad3))},
              Locked({{Wr(0x34, 0x30, 0x85)}}),
              {PadRd(Pad1, Pad(Pad1) & ~1u), PadWr(Pad1, Pad(Pad1)), Settle,
               PadRd(Pad33, Pad(Pad33)), PadWr(Pad33, Pad(Pad33))}});
  const std::vector<std::string> events = Events();
  ASSERT_GE(events.size(), expected.size());
  EXPECT_EQ(std::vector(events.end() - expected.size(), events.end()), expected);
  // The detection is the first use of the PMIC bus.
  EXPECT_EQ(std::count(events.begin(), events.end(), Lock), 3);
}

} // namespace

#include "firmware/I2cBusSteps.h"
#include "i2c/I2cController.h"

using namespace testsupport;
using namespace i2csteps;

namespace {

constexpr uint32_t PmcBase = 0xFED03000;

class I2cSetupTest : public BoardTest {
protected:
  I2cSetupTest() {
    Config.AcpiBase = 0x0402; // the delays run on the PM timer, which the entry turns on first
    Config.PmcBase = PmcBase;
  }
};

TEST_F(I2cSetupTest, FirstTransferAfterResetRunsTheFullSetUpInOrder) {
  Install();
  ASSERT_EQ(I2cSetTarget(0x34), EFI_SUCCESS);
  EXPECT_EQ(Steps(), Join({{R32(ConfigBar0, 0)}, BringUp(PmcBase, 0, 0), SetUpAfterBringUp(0x34)}));
  EXPECT_TRUE(soc->I2c.EnabledNow());
  EXPECT_EQ(soc->I2c.Peek(0x04), 0x34u);
}

TEST_F(I2cSetupTest, BringUpSwitchesTheFunctionOnAndDecodesOnlyWhenNeeded) {
  struct Case {
    const char* Name;
    uint32_t FunctionDisable;
    uint16_t Command; // with memory space on, the BARs already hold the controller's window
  };
  const Case cases[] = {
      {"function on, decoding off", 0x00000104, 0x0000},
      {"function off, decoding off", 0x20000104, 0x0000},
      {"function on, decoding on", 0x00000104, 0x0002},
      {"function off, decoding on", 0x20000104, 0x0006},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.PmcFunctionDisable = c.FunctionDisable;
    Config.I2c.Command = c.Command;
    Config.I2c.Bar0 = c.Command ? 0xFE950000 : 0;
    Config.I2c.Bar1 = c.Command ? 0xFE958000 : 0;
    Install();
    EXPECT_EQ(I2cControllerBringUp(), EFI_SUCCESS);
    EXPECT_EQ(Steps(), BringUp(PmcBase, c.FunctionDisable, static_cast<uint8_t>(c.Command)));
    // Only bit 29 was cleared, and the private registers reached the controller either way.
    EXPECT_EQ(soc->Pmc.FunctionDisable(), 0x00000104u);
    EXPECT_EQ(soc->I2c.Peek(0x804), 3u);
    EXPECT_EQ(soc->I2c.Peek(0x800), 0x80020003u);
  }
}

// No write is built on a read of all ones: an all-ones PMC base is not followed, and the
// function-disable register is written only from a fresh read that answered. A first read of all
// ones has bit 29 set like any other, so the register is read again, and a fresh read that
// answers is written back with bit 29 cleared (switching the function on when it was off).
TEST_F(I2cSetupTest, BringUpBuildsNoWriteOnAReadOfAllOnes) {
  struct AllOnesAt final : sim::ReadAnswers {
    uint32_t Address;
    unsigned Nth; // that read of Address, from 1; 0: none
    unsigned seen = 0;
    AllOnesAt(uint32_t A, unsigned N) : Address(A), Nth(N) {}
    uint32_t Answer(sim::Space, uint32_t At, unsigned, const sim::Device*, uint32_t V) override {
      return At == Address && ++seen == Nth ? 0xFFFFFFFF : V;
    }
  };
  const uint32_t fd = PmcBase + 0x34;
  const Expected base = R32(PmcBaseRegister, PmcBase);
  // The function stays off, so the controller's identifier reads all ones and the bring-up ends;
  // once it is on, the bring-up goes on as on a board whose function was never off.
  const Expected off = R32(ConfigIdentifier, 0xFFFFFFFF);
  const std::vector<Expected> fullBringUp = BringUp(PmcBase, 0x00000104, 0);
  const std::vector<Expected> on(fullBringUp.begin() + 2, fullBringUp.end());
  struct Case {
    const char* Name;
    uint32_t Address;
    unsigned Nth;
    uint32_t Disabled; // the register out of reset
    std::vector<Expected> Steps;
    uint32_t After; // the register after the bring-up
  };
  const Case cases[] = {
      {"base unread",
       PmcBaseRegister,
       1,
       0x20000104,
       {R32(PmcBaseRegister, 0xFFFFFFFF), off},
       0x20000104},
      {"first read unanswered, function off", fd, 1, 0x20000104,
       Join({{base, R32(fd, 0xFFFFFFFF), R32(fd, 0x20000104), W32(fd, 0x00000104)}, on}),
       0x00000104},
      {"first read unanswered, function on", fd, 1, 0x00000104,
       Join({{base, R32(fd, 0xFFFFFFFF), R32(fd, 0x00000104), W32(fd, 0x00000104)}, on}),
       0x00000104},
      {"fresh read unanswered",
       fd,
       2,
       0x20000104,
       {base, R32(fd, 0x20000104), R32(fd, 0xFFFFFFFF), off},
       0x20000104},
      {"register all ones",
       fd,
       0,
       0xFFFFFFFF,
       {base, R32(fd, 0xFFFFFFFF), R32(fd, 0xFFFFFFFF), off},
       0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.PmcFunctionDisable = c.Disabled;
    Install();
    AllOnesAt answers(c.Address, c.Nth);
    soc->Bus.SetReadAnswers(&answers);
    EXPECT_EQ(I2cControllerBringUp(), EFI_SUCCESS);
    EXPECT_EQ(Steps(), c.Steps);
    EXPECT_EQ(soc->Pmc.FunctionDisable(), c.After);
    soc->Bus.SetReadAnswers(nullptr);
  }
}

TEST_F(I2cSetupTest, BringUpOfAnAbsentDeviceStopsAtItsIdentifier) {
  Config.I2c.Present = false;
  Install();
  EXPECT_EQ(I2cControllerBringUp(), EFI_SUCCESS);
  EXPECT_EQ(Steps(), (std::vector<Expected>{R32(PmcBaseRegister, PmcBase), R32(PmcBase + 0x34, 0),
                                            R32(ConfigIdentifier, 0xFFFFFFFF)}));
}

TEST_F(I2cSetupTest, MemoryDecodingAtAnotherAddressIsLeftAndTheSetUpFindsNoController) {
  // Someone else mapped the controller elsewhere: it is not "set up", the bring-up keeps the
  // foreign BAR, and the controller's registers at the table's Bar0 answer with all ones.
  Config.I2c.Command = 0x0006;
  Config.I2c.Bar0 = 0xFE960000;
  Install();
  EXPECT_EQ(I2cSetTarget(0x34), EFI_DEVICE_ERROR);
  std::vector<Expected> expected = Join({{R32(ConfigBar0, 0xFE960000)}, BringUp(PmcBase, 0, 0x06)});
  Repeat(expected, 10000, {R32(Status, 0xFFFFFFFF), Wait(10)});
  EXPECT_EQ(Steps(), expected);
  EXPECT_EQ(soc->I2cFunction.Bar0(), 0xFE960000u);
}

TEST_F(I2cSetupTest, ABusyOrMissingControllerFailsTheSetUpAfterTenThousandPolls) {
  struct Case {
    const char* Name;
    bool Present;
    uint32_t StatusRead;
    std::vector<Expected> BringUpSteps;
  };
  const Case cases[] = {
      {"controller stays active", true, StatusHolding, BringUp(PmcBase, 0, 0)},
      {"no device at 00:18.5",
       false,
       0xFFFFFFFF,
       {R32(PmcBaseRegister, PmcBase), R32(PmcBase + 0x34, 0), R32(ConfigIdentifier, 0xFFFFFFFF)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2c.Present = c.Present;
    Config.I2c.StaysActive = c.Present;
    sim::Soc& board = Install();
    EXPECT_EQ(I2cSetTarget(0x34), EFI_DEVICE_ERROR);
    std::vector<Expected> expected =
        Join({{R32(ConfigBar0, c.Present ? 0 : 0xFFFFFFFF)}, c.BringUpSteps});
    Repeat(expected, 10000, {R32(Status, c.StatusRead), Wait(10)});
    // Nothing is reprogrammed after giving up.
    EXPECT_EQ(Steps(), expected);
    EXPECT_GE(board.Bus.GetClock().NowNs(), 100'000'000u);
  }
}

TEST_F(I2cSetupTest, TheActivityWaitPollsEveryTenMicrosecondsUntilTheBusIsFree) {
  struct Case {
    const char* Name;
    std::vector<uint32_t> Commands; // left on the bus by earlier firmware
    size_t BusyPolls;
    uint8_t IndexAfter; // the device's register pointer once all of them have gone out
  };
  // At 400 kHz the address and a byte take 45 us, each further byte 22.5 us more; a poll and its
  // wait take a little over 10 us.
  const Case cases[] = {
      {"address and index", {0x212}, 4, 0x12},
      {"address, index and two bytes", {0x412, 0x55, 0x266}, 8, 0x14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices = {{0x34, false, "register-file", {}, false}};
    sim::Soc& board = Install();
    // Straight into the controller: out of reset its window is not mapped yet.
    board.I2c.Write(Enable - Base, 16, 1);
    board.I2c.Write(TargetAddress - Base, 32, 0x34);
    for (uint32_t command : c.Commands) {
      board.I2c.Write(DataCommand - Base, 16, command);
    }
    ASSERT_EQ(I2cSetTarget(0x34), EFI_SUCCESS);
    std::vector<Expected> expected = Join({{R32(ConfigBar0, 0)}, BringUp(PmcBase, 0, 0)});
    Repeat(expected, c.BusyPolls, {R32(Status, StatusQueued), Wait(10)});
    EXPECT_EQ(Steps(), Join({expected, SetUpAfterBringUp(0x34)}));
    // The set-up let the transfer finish before it disabled the controller.
    EXPECT_EQ(board.RegisterFileDevice(0x34)->Index(), c.IndexAfter);
  }
}

TEST_F(I2cSetupTest, LaterTransfersOnlyRetarget) {
  Install();
  ASSERT_EQ(I2cSetTarget(0x34), EFI_SUCCESS);
  ClearTrace();
  EXPECT_EQ(I2cSetTarget(0x5E), EFI_SUCCESS);
  EXPECT_EQ(I2cSetTarget(0x6E), EFI_SUCCESS);
  EXPECT_EQ(Steps(), Join({Retarget(0x5E), Retarget(0x6E)}));
}

TEST_F(I2cSetupTest, AddressesAreWrittenInTheSameFormOnBothPaths) {
  struct Case {
    uint16_t Address;
    uint32_t Written;
  };
  // Above 127 the 10-bit form (bit 12) is used, by the set-up and by a re-target alike.
  for (const Case c : {Case{0x00, 0x00}, Case{0x34, 0x34}, Case{127, 0x7F}, Case{128, 0x1080},
                       Case{0x2A5, 0x12A5}, Case{1023, 0x13FF}}) {
    SCOPED_TRACE(c.Address);
    Install();
    ASSERT_EQ(I2cSetTarget(c.Address), EFI_SUCCESS);
    EXPECT_EQ(Steps(), Join({{R32(ConfigBar0, 0)},
                             BringUp(PmcBase, 0, 0),
                             SetUpAfterBringUp(static_cast<uint16_t>(c.Written))}));
    ClearTrace();
    ASSERT_EQ(I2cSetTarget(c.Address), EFI_SUCCESS);
    EXPECT_EQ(Steps(), Retarget(c.Written));
  }
}

TEST_F(I2cSetupTest, AddressesAbove1023AreRefusedWithoutAnyAccess) {
  for (uint16_t address : {uint16_t{1024}, uint16_t{0x7FFF}, uint16_t{0xFFFF}}) {
    SCOPED_TRACE(address);
    Install();
    EXPECT_EQ(I2cSetTarget(address), EFI_INVALID_PARAMETER);
    ASSERT_EQ(I2cSetTarget(0x34), EFI_SUCCESS);
    ClearTrace();
    EXPECT_EQ(I2cSetTarget(address), EFI_INVALID_PARAMETER);
    EXPECT_TRUE(Steps().empty());
  }
}

TEST_F(I2cSetupTest, EnableHandshakeWaitsForTheControllerToFollow) {
  struct Case {
    const char* Name;
    uint32_t LatencyReads;
    uint64_t LatencyNs;
    size_t StaleReads; // EnableStatus reads that still show the old state
  };
  // A 10 us wait plus a register read lasts a little over 10 us, so 25 us take three polls.
  const Case cases[] = {
      {"immediate", 0, 0, 0},
      {"three reads", 3, 0, 3},
      {"25 us", 0, 25'000, 3},
      {"one read and 25 us", 1, 25'000, 3},
      {"five reads and 25 us", 5, 25'000, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2c.EnableLatencyReads = c.LatencyReads;
    Config.I2c.EnableLatencyNs = c.LatencyNs;
    Config.I2c.Bar0 = 0xFE950000;
    Config.I2c.Command = 0x0006;
    Install();
    for (uint32_t enable : {1u, 0u}) {
      ClearTrace();
      EXPECT_EQ(enable ? I2cEnable() : I2cDisable(), EFI_SUCCESS);
      std::vector<Expected> expected = {W16(Enable, enable)};
      Repeat(expected, c.StaleReads, {R16(EnableStatus, 1 - enable), Wait(10)});
      expected.push_back(R16(EnableStatus, enable));
      EXPECT_EQ(Steps(), expected);
    }
  }
}

TEST_F(I2cSetupTest, AControllerThatNeverEnablesIsReportedAndTheSetUpGoesOn) {
  Config.I2c.NeverEnables = true;
  Config.I2c.Bar0 = 0xFE950000;
  Config.I2c.Command = 0x0006;
  Install();
  EXPECT_EQ(I2cEnable(), EFI_NOT_READY);
  std::vector<Expected> expected = {W16(Enable, 1)};
  Repeat(expected, 10000, {R16(EnableStatus, 0), Wait(10)});
  EXPECT_EQ(Steps(), expected);

  // In a full set-up the failed enable is ignored: the abort is still cleared and the target
  // set, and the set-up reports success.
  Config.I2c.Bar0 = 0;
  Config.I2c.Command = 0;
  Install();
  EXPECT_EQ(I2cSetTarget(0x34), EFI_SUCCESS);
  const auto steps = Steps();
  ASSERT_GE(steps.size(), 2u);
  EXPECT_EQ(steps[steps.size() - 3], R16(EnableStatus, 0));
  EXPECT_EQ(steps[steps.size() - 2], Wait(10));
  EXPECT_EQ(steps.back(), R16(ClearTransmitAbort, 0));
}

} // namespace

#include "firmware/I2cBusSteps.h"
#include "i2c/I2cController.h"
#include "platform/Delay.h"
#include "sim/decode/BusDecoder.h"
#include "support/DecodePrinters.h"

using namespace testsupport;
using namespace i2csteps;
using sim::decode::I2cTransaction;

namespace {

constexpr uint8_t Pmic = 0x34;
constexpr uint8_t Register = 0x12;
constexpr uint8_t Stored = 0xA5;

class I2cTransferTest : public BoardTest {
protected:
  I2cTransferTest() {
    Config.AcpiBase = 0x0402;
    Config.I2cDevices = {{Pmic, false, "register-file", {{Register, Stored}}, false}};
  }

  // Installs the board and sets the controller up, so that the trace starts with a transfer on
  // a set-up controller.
  sim::Soc& InstallSetUp() {
    sim::Soc& board = Install();
    EXPECT_EQ(I2cSetTarget(Pmic), EFI_SUCCESS);
    ClearTrace();
    return board;
  }

  std::vector<I2cTransaction> Transactions() const {
    return sim::decode::DecodeBus(soc->Bus.GetTrace().Accesses()).I2c;
  }
};

I2cTransaction Transaction(bool Read, uint8_t Reg, uint8_t Value, bool Aborted = false,
                           bool Stopped = true) {
  I2cTransaction t;
  t.Device = Pmic;
  t.Read = Read;
  t.HasRegister = true;
  t.Register = Reg;
  t.HasValue = !Aborted;
  t.Value = Aborted ? 0 : Value;
  t.Stopped = Stopped;
  t.Aborted = Aborted;
  return t;
}

// Transactions compared without their times and access numbers.
std::vector<I2cTransaction> Untimed(std::vector<I2cTransaction> All) {
  for (auto& t : All) {
    t = {.Device = t.Device,
         .TenBit = t.TenBit,
         .Read = t.Read,
         .HasRegister = t.HasRegister,
         .Register = t.Register,
         .HasValue = t.HasValue,
         .Value = t.Value,
         .Stopped = t.Stopped,
         .Aborted = t.Aborted};
  }
  return All;
}

TEST_F(I2cTransferTest, RegisterReadQueuesIndexThenReadWithStop) {
  Config.I2c.BusHz = 0; // every byte is done by the next look, so no poll repeats
  InstallSetUp();
  uint8_t value = 0;
  ASSERT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_SUCCESS);
  EXPECT_EQ(value, Stored);
  EXPECT_EQ(Steps(), Join({Retarget(Pmic),
                           {R16(Status, StatusIdle), R16(RawInterruptStatus, 0),
                            W16(DataCommand, 0x400 | Register), Wait(2)},
                           Retarget(Pmic),
                           {R16(RawInterruptStatus, 0), R16(Status, StatusHolding),
                            W16(DataCommand, 0x700), R16(RawInterruptStatus, 0),
                            R16(Status, StatusByteWaiting), R16(DataCommand, Stored)}}));
}

TEST_F(I2cTransferTest, RegisterWriteQueuesIndexThenDataWithStop) {
  Config.I2c.BusHz = 0;
  sim::Soc& board = InstallSetUp();
  const uint8_t data = 0x5C;
  ASSERT_EQ(I2cWriteRegister(Pmic, 0x40, &data), EFI_SUCCESS);
  EXPECT_EQ(Steps(), Join({Retarget(Pmic),
                           {R16(Status, StatusIdle), R16(RawInterruptStatus, 0),
                            W16(DataCommand, 0x440), Wait(2)},
                           Retarget(Pmic),
                           {R16(Status, StatusHolding), R16(RawInterruptStatus, 0),
                            W16(DataCommand, 0x25C), Wait(2)}}));
  board.I2c.Drain();
  EXPECT_EQ(board.RegisterFileDevice(Pmic)->Peek(0x40), 0x5C);
}

TEST_F(I2cTransferTest, OnA400kHzBusTheReadPollsBackToBackForItsByte) {
  sim::Soc& board = InstallSetUp();
  uint8_t value = 0;
  ASSERT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_SUCCESS);
  EXPECT_EQ(value, Stored);

  const auto steps = Steps();
  const std::vector<Expected> head =
      Join({Retarget(Pmic),
            {R16(Status, StatusIdle), R16(RawInterruptStatus, 0), W16(DataCommand, 0x412), Wait(2)},
            Retarget(Pmic),
            {R16(RawInterruptStatus, 0), R16(Status, StatusQueued), W16(DataCommand, 0x700)}});
  const std::vector<Expected> tail = {R16(RawInterruptStatus, 0), R16(Status, StatusByteWaiting),
                                      R16(DataCommand, Stored)};
  ASSERT_GT(steps.size(), head.size() + tail.size());
  EXPECT_EQ(std::vector<Expected>(steps.begin(), steps.begin() + head.size()), head);
  EXPECT_EQ(std::vector<Expected>(steps.end() - tail.size(), steps.end()), tail);
  // In between only polls without a wait, the bus busy with the two bytes and their addresses.
  const size_t polls = (steps.size() - head.size() - tail.size()) / 2;
  std::vector<Expected> middle(steps.begin() + head.size(), steps.end() - tail.size());
  for (size_t i = 0; i < middle.size(); i += 2) {
    EXPECT_EQ(middle[i], R16(RawInterruptStatus, 0)) << i;
    EXPECT_TRUE(middle[i + 1] == R16(Status, StatusQueued) ||
                middle[i + 1] == R16(Status, StatusHolding))
        << middle[i + 1];
  }
  EXPECT_GT(polls, 10u);
  // Four byte times at least (address, index, address, data) since the index was queued.
  const auto& trace = board.Bus.GetTrace().Accesses();
  EXPECT_GE(trace.back().TimeNs - trace[4].TimeNs, 4 * 22'500u);
  EXPECT_EQ(Untimed(Transactions()), (std::vector{Transaction(true, Register, Stored)}));
}

TEST_F(I2cTransferTest, LaterTransfersDoNoSetUp) {
  sim::Soc& board = Install();
  uint8_t value = 0;
  ASSERT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_SUCCESS);
  const size_t first = board.Bus.GetTrace().Accesses().size();
  const uint8_t data = 0x77;
  ASSERT_EQ(I2cWriteRegister(Pmic, 0x13, &data), EFI_SUCCESS);
  ASSERT_EQ(I2cReadRegister(Pmic, 0x13, &value), EFI_SUCCESS);
  EXPECT_EQ(value, 0x77);

  size_t configReads = 0;
  for (const Expected& step : Trace(first)) {
    const bool config = step.Address >= 0xE0000000 && step.Address < 0xF0000000;
    EXPECT_TRUE(!config || step == R32(ConfigBar0, 0xFE950000)) << step;
    configReads += config;
  }
  EXPECT_EQ(configReads, 4u); // one per byte transfer
  EXPECT_EQ(Untimed(Transactions()),
            (std::vector{Transaction(true, Register, Stored), Transaction(false, 0x13, 0x77),
                         Transaction(true, 0x13, 0x77)}));
}

TEST_F(I2cTransferTest, AnAbortAfterAWriteIsFoundAndClearedByTheNextTransfer) {
  // A read or a write: either stops at its index phase, and a write queues no data byte.
  for (const bool write : {false, true}) {
    SCOPED_TRACE(write ? "the next transfer writes" : "the next transfer reads");
    Config.I2c.AbortOnBytes = {2}; // the data byte of the first write is not acknowledged
    sim::Soc& board = InstallSetUp();
    const uint8_t data = 0x5C;
    EXPECT_EQ(I2cWriteRegister(Pmic, 0x40, &data), EFI_SUCCESS); // queued, so it looks fine
    DelayMicroseconds(1000);                                     // the bus gets to the byte
    ASSERT_TRUE(board.I2c.AbortPending());

    ClearTrace();
    uint8_t value = 0x5A;
    EXPECT_EQ(write ? I2cWriteRegister(Pmic, Register, &value)
                    : I2cReadRegister(Pmic, Register, &value),
              EFI_DEVICE_ERROR);
    EXPECT_EQ(value, 0x5A); // the index phase failed: the caller's byte is untouched
    EXPECT_EQ(Steps(), Join({Retarget(Pmic),
                             {R16(Status, StatusIdle), R16(RawInterruptStatus, 0x40),
                              R16(ClearTransmitAbort, 1)}}));
    EXPECT_FALSE(board.I2c.AbortPending());
    EXPECT_EQ(board.RegisterFileDevice(Pmic)->Peek(0x40), 0x00);

    // Re-targeting does not clear an abort, the transfer above did: the next one is clean.
    ASSERT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_SUCCESS);
    EXPECT_EQ(value, Stored);
  }
}

TEST_F(I2cTransferTest, ADeviceThatNeverAcknowledgesFailsTheReadPhase) {
  struct Case {
    const char* Name;
    bool Fitted;
  };
  for (const Case c : {Case{"fitted but dead", true}, Case{"nothing at the address", false}}) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices = {{static_cast<uint16_t>(c.Fitted ? Pmic : 0x35),
                          false,
                          "register-file",
                          {{Register, Stored}},
                          c.Fitted}};
    InstallSetUp();
    uint8_t value = 0x5A;
    EXPECT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_DEVICE_ERROR);
    EXPECT_EQ(value, 0x5A);
    const auto steps = Steps();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[steps.size() - 2], R16(RawInterruptStatus, 0x40));
    EXPECT_EQ(steps.back(), R16(ClearTransmitAbort, 1));
    EXPECT_EQ(Untimed(Transactions()), (std::vector{Transaction(true, Register, 0, true)}));
  }
}

TEST_F(I2cTransferTest, AControllerThatNeverMovesABytePutsABoundOnEveryWait) {
  // The bus is stuck: queued commands stay queued. With a one-entry FIFO the index fills it.
  enum class Op { Read, Write };
  struct Case {
    const char* Name;
    Op Operation;
    uint32_t FifoDepth;
    std::vector<Expected> AfterIndex;
  };
  std::vector<Expected> sendFull = Retarget(Pmic);
  // Waits for room or for the byte poll back to back, 200000 times; the wait for room for the
  // read command polls 10 us apart, 10000 times.
  Repeat(sendFull, 200000, {R16(Status, 0x21), R16(RawInterruptStatus, 0)});
  std::vector<Expected> receiveFull = Retarget(Pmic);
  Repeat(receiveFull, 10000, {R16(RawInterruptStatus, 0), R16(Status, 0x21), Wait(10)});
  std::vector<Expected> receiveNothing =
      Join({Retarget(Pmic),
            {R16(RawInterruptStatus, 0), R16(Status, StatusQueued), W16(DataCommand, 0x700)}});
  Repeat(receiveNothing, 200000, {R16(RawInterruptStatus, 0), R16(Status, StatusQueued)});
  const Case cases[] = {
      {"write: no room for the data byte", Op::Write, 1, sendFull},
      {"read: no room for the read command", Op::Read, 1, receiveFull},
      {"read: the byte never comes", Op::Read, 16, receiveNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2c.Stalled = true;
    Config.I2c.TransmitFifoDepth = c.FifoDepth;
    InstallSetUp();
    uint8_t value = 0x5A;
    const EFI_STATUS status = c.Operation == Op::Read ? I2cReadRegister(Pmic, Register, &value)
                                                      : I2cWriteRegister(Pmic, Register, &value);
    EXPECT_EQ(status, EFI_DEVICE_ERROR);
    EXPECT_EQ(value, 0x5A);
    EXPECT_EQ(Steps(), Join({Retarget(Pmic),
                             {R16(Status, StatusIdle), R16(RawInterruptStatus, 0),
                              W16(DataCommand, 0x412), Wait(2)},
                             c.AfterIndex,
                             Flush()}));
    // Nothing the failed transfer queued is left to move once the bus does.
    EXPECT_EQ(soc->I2c.TransmitFifoLevel(), 0u);
    EXPECT_EQ(soc->I2c.ReceiveFifoLevel(), 0u);
  }
}

// The byte waits are bounded for buses down to 10 kHz with register reads down to 50 ns: a read
// queued behind a write, the longest the module makes, still completes there.
TEST_F(I2cTransferTest, ASlowBusWithFastReadsStillCompletes) {
  Config.I2c.BusHz = 10000;
  Config.Costs.MmioRead = 50;
  Config.I2cDevices[0].Registers.push_back({Register, 0x3C});
  sim::Soc& board = InstallSetUp();
  const uint8_t data = 0x5C;
  ASSERT_EQ(I2cWriteRegister(Pmic, 0x40, &data), EFI_SUCCESS);
  uint8_t value = 0;
  EXPECT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_SUCCESS);
  EXPECT_EQ(value, 0x3C);
  EXPECT_EQ(board.RegisterFileDevice(Pmic)->Peek(0x40), 0x5C);
}

TEST_F(I2cTransferTest, AReadThatGaveUpLeavesNoLateByteForTheNextRead) {
  // At 12 kHz a byte takes 750 us. With register reads of 10 ns (faster than the byte wait's bound
  // is made for) that wait lasts 4 ms: a read alone (address, index, address, data) is done
  // within it, but a read queued behind a write's three bytes is not, and its byte would come in
  // after the failure had been reported.
  Config.I2c.BusHz = 12000;
  Config.Costs.MmioRead = 10;
  Config.I2cDevices[0].Registers.push_back({0x13, 0x3C});
  sim::Soc& board = InstallSetUp();
  const uint8_t data = 0x5C;
  ASSERT_EQ(I2cWriteRegister(Pmic, 0x40, &data), EFI_SUCCESS);
  uint8_t value = 0x5A;
  ASSERT_EQ(I2cReadRegister(Pmic, Register, &value), EFI_DEVICE_ERROR);
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(board.I2c.TransmitFifoLevel(), 0u);
  EXPECT_EQ(board.RegisterFileDevice(Pmic)->Peek(0x40), 0x5C); // the write had gone out

  ASSERT_EQ(I2cReadRegister(Pmic, 0x13, &value), EFI_SUCCESS);
  EXPECT_EQ(value, 0x3C); // its own byte, not register 0x12's late one
  EXPECT_EQ(board.I2c.ReceiveFifoLevel(), 0u);
}

TEST_F(I2cTransferTest, AByteAlreadyWaitingIsTakenAndQueuingTheCommandEndsTheWait) {
  Config.I2cDevices[0].Registers.push_back({0x20, 0x3C});
  sim::Soc& board = InstallSetUp();
  // A read queued past the module left its byte in the receive FIFO.
  board.Bus.Write(sim::Space::Memory, DataCommand, 16, 0x400 | 0x20);
  board.Bus.Write(sim::Space::Memory, DataCommand, 16, 0x700);
  board.I2c.Drain();
  ASSERT_EQ(board.I2c.ReceiveFifoLevel(), 1u);
  ClearTrace();
  uint8_t value = 0;
  EXPECT_EQ(I2cReceiveByte(Pmic, &value), EFI_SUCCESS);
  EXPECT_EQ(value, 0x3C);
  EXPECT_EQ(Steps(), Join({Retarget(Pmic),
                           {R16(RawInterruptStatus, 0), R16(Status, StatusByteWaiting),
                            R16(DataCommand, 0x3C), W16(DataCommand, 0x700)}}));
}

TEST_F(I2cTransferTest, AnAbortFoundByTheDataBytePhaseFailsTheWrite) {
  Config.I2c.BusHz = 0;
  Config.I2c.AbortOnBytes = {1}; // the index is refused, after its phase has already returned
  sim::Soc& board = InstallSetUp();
  const uint8_t data = 0x5C;
  EXPECT_EQ(I2cWriteRegister(Pmic, 0x40, &data), EFI_DEVICE_ERROR);
  EXPECT_EQ(
      Steps(),
      Join({Retarget(Pmic),
            {R16(Status, StatusIdle), R16(RawInterruptStatus, 0), W16(DataCommand, 0x440), Wait(2)},
            Retarget(Pmic),
            {R16(Status, StatusIdle), R16(RawInterruptStatus, 0x40), R16(ClearTransmitAbort, 1)}}));
  EXPECT_FALSE(board.I2c.AbortPending());
  EXPECT_EQ(board.RegisterFileDevice(Pmic)->Peek(0x40), 0x00);
}

} // namespace

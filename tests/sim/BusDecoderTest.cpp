#include "sim/decode/BusDecoder.h"
#include "i2c/I2cController.h"
#include "i2c/PmicBusSemaphore.h"
#include "sim/Soc.h"
#include "support/DecodePrinters.h"
#include "tools/run/HostRun.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using sim::AccessOp;
using namespace sim::decode;

constexpr uint32_t TargetAddress = 0xFE950004;
constexpr uint32_t DataCommand = 0xFE950010;
constexpr uint32_t RawInterruptStatus = 0xFE950034;
constexpr uint32_t Enable = 0xFE95006C;
constexpr uint32_t MessageControl = 0xE00000D0;
constexpr uint32_t MessageData = 0xE00000D4;
constexpr uint32_t MessageAddressExtension = 0xE00000D8;

// Hand-written traces: one access per call, 100 ns apart.
class TraceBuilder {
public:
  TraceBuilder& R(uint32_t Address, uint32_t Value, uint8_t Width = 16) {
    return Add(AccessOp::Read, Address, Value, Width);
  }
  TraceBuilder& W(uint32_t Address, uint32_t Value, uint8_t Width = 16) {
    return Add(AccessOp::Write, Address, Value, Width);
  }
  uint64_t Now() const { return accesses_.size() * 100; }
  const std::vector<sim::Access>& Accesses() const { return accesses_; }

private:
  TraceBuilder& Add(AccessOp Op, uint32_t Address, uint32_t Value, uint8_t Width) {
    accesses_.push_back({accesses_.size(), Now(), Op, Width, Address, Value});
    return *this;
  }
  std::vector<sim::Access> accesses_;
};

I2cTransaction T(uint64_t Time, uint16_t Device, bool Read, int Register, int Value, bool Stopped,
                 bool Aborted = false, bool TenBit = false) {
  I2cTransaction t;
  t.TimeNs = Time;
  t.Device = Device;
  t.TenBit = TenBit;
  t.Read = Read;
  t.HasRegister = Register >= 0;
  t.Register = static_cast<uint8_t>(Register >= 0 ? Register : 0);
  t.HasValue = Value >= 0;
  t.Value = static_cast<uint8_t>(Value >= 0 ? Value : 0);
  t.Stopped = Stopped;
  t.Aborted = Aborted;
  return t;
}

// The transaction's access numbers: its first command at its time, its last access at Last.
I2cTransaction Until(I2cTransaction T, uint64_t Last) {
  T.FirstSeq = T.TimeNs / 100;
  T.LastSeq = Last / 100;
  T.LastNs = Last;
  return T;
}

TEST(BusDecoder, RegisterReadsAndWritesBecomeOneTransactionEach) {
  TraceBuilder b;
  b.W(Enable, 0).W(DataCommand, 0).W(TargetAddress, 0x34).W(Enable, 1); // set-up: no transfer
  b.W(TargetAddress, 0x34, 32).R(0xFE950070, 0x06);
  const uint64_t read = b.Now(); // a transaction starts with its first command
  b.W(DataCommand, 0x412);
  b.W(TargetAddress, 0x34, 32).W(DataCommand, 0x700).R(0xFE950070, 0x0E).R(DataCommand, 0xA5);
  b.W(TargetAddress, 0x5E, 32);
  const uint64_t write = b.Now();
  b.W(DataCommand, 0x440).W(DataCommand, 0x25C);
  b.W(TargetAddress, 0x12A5, 32);
  const uint64_t tenBit = b.Now();
  b.W(DataCommand, 0x401).W(DataCommand, 0x700);
  b.R(DataCommand, 0x99);

  EXPECT_EQ(
      DecodeBus(b.Accesses()).I2c,
      (std::vector{Until(T(read, 0x34, true, 0x12, 0xA5, true), read + 400),
                   Until(T(write, 0x5E, false, 0x40, 0x5C, true), write + 100),
                   Until(T(tenBit, 0x2A5, true, 0x01, 0x99, true, false, true), tenBit + 200)}));
}

TEST(BusDecoder, AnAbortBelongsToTheTransactionOnTheBusOrElseTheLastOne) {
  TraceBuilder b;
  b.W(TargetAddress, 0x34, 32);
  const uint64_t write = b.Now();
  b.W(DataCommand, 0x440).W(DataCommand, 0x25C); // complete as far as the module knows
  b.R(RawInterruptStatus, 0x40);                 // found by the next transfer
  const uint64_t read = b.Now();
  b.W(DataCommand, 0x412).W(DataCommand, 0x700);
  b.R(RawInterruptStatus, 0x40); // the read's own address was refused
  b.R(DataCommand, 0x00);        // nothing was pending any more: not the read's value
  const uint64_t clean = b.Now();
  b.W(DataCommand, 0x412).R(RawInterruptStatus, 0x00).W(DataCommand, 0x700).R(DataCommand, 0x7E);

  EXPECT_EQ(DecodeBus(b.Accesses()).I2c,
            (std::vector{Until(T(write, 0x34, false, 0x40, 0x5C, true, true), write + 200),
                         Until(T(read, 0x34, true, 0x12, -1, true, true), read + 200),
                         Until(T(clean, 0x34, true, 0x12, 0x7E, true), clean + 300)}));
}

TEST(BusDecoder, AnIndexPhaseCutShortLeavesAnOpenTransactionAborted) {
  TraceBuilder b;
  b.W(TargetAddress, 0x6E, 32);
  const uint64_t first = b.Now();
  b.W(DataCommand, 0x412).R(RawInterruptStatus, 0x40);
  const uint64_t second = b.Now();
  b.W(DataCommand, 0x413).W(DataCommand, 0x701).R(DataCommand, 0x01);
  EXPECT_EQ(DecodeBus(b.Accesses()).I2c,
            (std::vector{Until(T(first, 0x6E, false, 0x12, -1, false, true), first + 100),
                         Until(T(second, 0x6E, true, 0x13, 0x01, true), second + 200)}));
}

TEST(BusDecoder, SidebandMessagesCarryTheirDataAtTheWidthRead) {
  TraceBuilder b;
  b.W(MessageAddressExtension, 0, 32).W(MessageData, 0xCAFE, 32).W(MessageControl, 0x070406F0, 32);
  b.W(MessageAddressExtension, 0x100, 32).W(MessageControl, 0x060407F0, 32);
  b.R(MessageData, 0x01, 8);
  b.W(MessageAddressExtension, 0, 32).W(MessageControl, 0x06051230, 32).R(MessageData, 0xFF, 32);
  const auto messages = DecodeBus(b.Accesses()).Sideband;
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], (SidebandMessage{200, 0x07, 0x04, 0x06, 0xF, true, 0xCAFE, 32, 2}));
  EXPECT_EQ(messages[1], (SidebandMessage{400, 0x06, 0x04, 0x107, 0xF, true, 0x01, 8, 4}));
  EXPECT_EQ(messages[2], (SidebandMessage{700, 0x06, 0x05, 0x12, 0x3, true, 0xFF, 32, 7}));
}

// The semaphore register's sideband sequences, as the module issues them.
void ReadSemaphore(TraceBuilder& B, uint32_t Value, uint8_t Width = 32) {
  B.W(MessageAddressExtension, 0, 32).W(MessageControl, 0x060407F0, 32);
  B.R(MessageData, Width == 8 ? Value & 0xFF : Value, Width);
}
void WriteSemaphore(TraceBuilder& B, uint32_t Value) {
  B.W(MessageAddressExtension, 0, 32).W(MessageData, Value, 32).W(MessageControl, 0x070407F0, 32);
}

TEST(BusDecoder, SemaphoreHoldsRunFromRequestOrGrantToRelease) {
  // Not arbitrated: the acquire reads 0 and writes nothing; the release clears bit 0 anyway.
  {
    TraceBuilder b;
    ReadSemaphore(b, 0x000);
    ReadSemaphore(b, 0x000);
    WriteSemaphore(b, 0x000);
    EXPECT_TRUE(DecodeBus(b.Accesses()).Holds.empty());
  }
  // Already held: the hold is seen from the first read that shows it.
  {
    TraceBuilder b;
    ReadSemaphore(b, 0x101);
    ReadSemaphore(b, 0x101);
    const uint64_t release = b.Now() + 200;
    WriteSemaphore(b, 0x100);
    EXPECT_EQ(
        DecodeBus(b.Accesses()).Holds,
        (std::vector{SemaphoreHold{false, 0, true, 200, true, release, 0, 2, release / 100}}));
  }
  // Requested, granted on a poll, released.
  {
    TraceBuilder b;
    ReadSemaphore(b, 0x100);
    ReadSemaphore(b, 0x100);
    const uint64_t request = b.Now() + 200;
    WriteSemaphore(b, 0x102);
    ReadSemaphore(b, 0x102, 8);
    const uint64_t grant = b.Now() + 200;
    ReadSemaphore(b, 0x101, 8);
    ReadSemaphore(b, 0x101);
    const uint64_t release = b.Now() + 200;
    WriteSemaphore(b, 0x100);
    EXPECT_EQ(DecodeBus(b.Accesses()).Holds,
              (std::vector{SemaphoreHold{true, request, true, grant, true, release, request / 100,
                                         grant / 100, release / 100}}));
  }
  // Requested, never granted, withdrawn by the release.
  {
    TraceBuilder b;
    ReadSemaphore(b, 0x100);
    ReadSemaphore(b, 0x100);
    const uint64_t request = b.Now() + 200;
    WriteSemaphore(b, 0x102);
    ReadSemaphore(b, 0x102, 8);
    ReadSemaphore(b, 0x102);
    const uint64_t release = b.Now() + 200;
    WriteSemaphore(b, 0x102);
    ReadSemaphore(b, 0x102);
    // A later release writes the pending request bit back: that is no new request.
    ReadSemaphore(b, 0x102);
    WriteSemaphore(b, 0x102);
    EXPECT_EQ(DecodeBus(b.Accesses()).Holds,
              (std::vector{SemaphoreHold{true, request, false, 0, true, release, request / 100, 0,
                                         release / 100}}));
  }
}

TEST(BusDecoder, ARunDecodesTheSameFromItsTextForm) {
  sim::BoardConfig config;
  config.AcpiBase = 0x0402;
  config.I2cDevices = {{0x34, false, "register-file", {{0x12, 0xA5}}, false}};
  config.Punit.GrantDelayNs = 30'000;
  sim::Soc soc(config);
  {
    tools::BoardInstallation installed(soc.Bus);
    uint8_t value = 0;
    PmicBusHold hold = {};
    ASSERT_EQ(AcquirePmicBus(hold), EFI_SUCCESS);
    ASSERT_EQ(I2cReadRegister(0x34, 0x12, &value), EFI_SUCCESS);
    const uint8_t data = 0x3C;
    ASSERT_EQ(I2cWriteRegister(0x34, 0x13, &data), EFI_SUCCESS);
    ReleasePmicBus(hold);
  }
  std::ostringstream text;
  soc.Bus.GetTrace().WriteText(text);
  std::vector<sim::Access> parsed;
  std::string error;
  ASSERT_TRUE(sim::ParseTrace(text.str(), parsed, error)) << error;

  const BusActivity direct = DecodeBus(soc.Bus.GetTrace().Accesses());
  const BusActivity reread = DecodeBus(parsed);
  EXPECT_EQ(reread.I2c, direct.I2c);
  EXPECT_EQ(reread.Sideband, direct.Sideband);
  EXPECT_EQ(reread.Holds, direct.Holds);

  ASSERT_EQ(direct.I2c.size(), 2u);
  EXPECT_EQ(FormatTransaction(direct.I2c[0]).substr(FormatTransaction(direct.I2c[0]).find(' ')),
            " i2c read  0x34 reg 0x12 -> 0xA5");
  EXPECT_EQ(FormatTransaction(direct.I2c[1]).substr(FormatTransaction(direct.I2c[1]).find(' ')),
            " i2c write 0x34 reg 0x13 <- 0x3C");
  ASSERT_EQ(direct.Holds.size(), 1u);
  // The transfers sit inside the hold.
  EXPECT_LT(direct.Holds[0].AcquireNs, direct.I2c[0].TimeNs);
  EXPECT_GT(direct.Holds[0].ReleaseNs, direct.I2c[1].TimeNs);
  EXPECT_GE(direct.Holds[0].AcquireNs - direct.Holds[0].RequestNs, 30'000u);
}

} // namespace

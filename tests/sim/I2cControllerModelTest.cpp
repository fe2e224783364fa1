#include "sim/Soc.h"
#include "support/I2cRegisterMap.h"

#include <gtest/gtest.h>

namespace {

using sim::Space;
using namespace i2cmap;

constexpr uint32_t PmcBase = 0xFED03000;
constexpr uint32_t FunctionDisable = PmcBase + 0x34;
constexpr uint64_t ByteNs = 22'500; // nine bit times at 400 kHz

// Reads and writes straight on the board, as a test of the models rather than of the module.
struct Bench {
  explicit Bench(const sim::BoardConfig& Config) : soc(Config) {}
  uint32_t R(uint32_t Address, unsigned Width = 32) {
    return soc.Bus.Read(Space::Memory, Address, Width);
  }
  void W(uint32_t Address, uint32_t Value, unsigned Width = 32) {
    soc.Bus.Write(Space::Memory, Address, Width, Value);
  }
  void Advance(uint64_t Ns) { soc.Bus.GetClock().Advance(Ns); }
  // Decoding on at the table's Bar0, enabled, pointed at Target.
  void Ready(uint16_t Target) {
    W(ConfigBar0, Base);
    W(ConfigCommand, 6);
    W(TargetAddress, Target, 16);
    W(Enable, 1, 16);
  }
  sim::Soc soc;
};

sim::BoardConfig WithRegisterFile(uint16_t Address = 0x34) {
  sim::BoardConfig config;
  config.PmcBase = PmcBase;
  config.I2cDevices = {{Address, false, "register-file", {{0x12, 0xA5}, {0x13, 0xB6}}, false}};
  return config;
}

TEST(PmcWindow, SitsAtTheBridgesBaseWithItsLowBitsMasked) {
  for (uint32_t configured : {0xFED03000u, 0xFED03002u, 0xFED031FFu}) {
    SCOPED_TRACE(configured);
    sim::BoardConfig config;
    config.PmcBase = configured;
    config.PmcFunctionDisable = 0x20000104;
    Bench bench(config);
    EXPECT_EQ(bench.R(0xE00F8044), configured);
    EXPECT_EQ(bench.R(FunctionDisable), 0x20000104u);
    EXPECT_EQ(bench.R(0xFED03200 + 0x34), 0xFFFFFFFFu); // past the window
  }
}

TEST(I2cFunction, FunctionDisableBit29HidesItsConfigurationSpace) {
  sim::BoardConfig config;
  config.PmcBase = PmcBase;
  config.PmcFunctionDisable = 1u << 29;
  Bench bench(config);
  EXPECT_EQ(bench.R(ConfigIdentifier), 0xFFFFFFFFu);
  bench.W(ConfigCommand, 6); // dropped while hidden
  bench.W(FunctionDisable, 0);
  EXPECT_EQ(bench.R(ConfigIdentifier), sim::I2cPciFunction::Identifier);
  EXPECT_EQ(bench.R(ConfigCommand, 8), 0u);

  // Switched off again while decoding: configuration and registers both vanish.
  bench.W(ConfigBar0, Base);
  bench.W(ConfigCommand, 2);
  EXPECT_EQ(bench.R(Status), 0x06u);
  bench.W(FunctionDisable, 1u << 29);
  EXPECT_EQ(bench.R(ConfigIdentifier), 0xFFFFFFFFu);
  EXPECT_EQ(bench.R(Status), 0xFFFFFFFFu);
  bench.W(FunctionDisable, 0);
  EXPECT_EQ(bench.R(Status), 0x06u);
}

TEST(I2cFunction, RegisterWindowFollowsBar0WhileMemorySpaceIsOn) {
  Bench bench(sim::BoardConfig{});
  bench.W(ConfigBar0, 0xFE950FFF); // size and flag bits read as zero
  EXPECT_EQ(bench.R(ConfigBar0), Base);
  EXPECT_EQ(bench.R(Status), 0xFFFFFFFFu); // memory space still off
  bench.W(ConfigCommand, 2);
  EXPECT_EQ(bench.R(Status), 0x06u);
  bench.W(ConfigBar0, 0xFE960000);
  EXPECT_EQ(bench.R(Status), 0xFFFFFFFFu);
  EXPECT_EQ(bench.R(0xFE960070), 0x06u);
  bench.W(ConfigCommand, 0);
  EXPECT_EQ(bench.R(0xFE960070), 0xFFFFFFFFu);
}

TEST(I2cFunction, AbsentFunctionNeverAnswers) {
  sim::BoardConfig config;
  config.I2c.Present = false;
  config.I2c.Bar0 = Base;
  config.I2c.Command = 6;
  Bench bench(config);
  EXPECT_EQ(bench.R(ConfigIdentifier), 0xFFFFFFFFu);
  EXPECT_EQ(bench.R(Status), 0xFFFFFFFFu);
}

TEST(I2cControllerModel, EnableStatusFollowsAfterItsLatency) {
  struct Case {
    const char* Name;
    uint32_t Reads;
    uint64_t Ns;
    bool Never;
    std::vector<uint32_t> Seen; // EnableStatus at reads 1 us apart
  };
  const Case cases[] = {
      {"at once", 0, 0, false, {1, 1}},
      {"after two reads", 2, 0, false, {0, 0, 1}},
      {"after 2.5 us", 0, 2'500, false, {0, 0, 1}},
      {"never", 0, 0, true, {0, 0, 0, 0}},
      {"a latency near 2^64 ns stays pending", 0, UINT64_MAX - 1'500, false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    sim::BoardConfig config;
    config.I2c = {.Bar0 = Base, .Command = 6};
    config.I2c.EnableLatencyReads = c.Reads;
    config.I2c.EnableLatencyNs = c.Ns;
    config.I2c.NeverEnables = c.Never;
    config.Costs.MmioRead = 1000;
    config.Costs.MmioWrite = 1000;
    Bench bench(config);
    bench.W(Enable, 1, 16);
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < c.Seen.size(); ++i) {
      seen.push_back(bench.R(EnableStatus, 16));
    }
    EXPECT_EQ(seen, c.Seen);
  }
}

TEST(I2cControllerModel, BytesLeaveTheFifoAtTheBusRate) {
  Bench bench(WithRegisterFile());
  auto& device = *bench.soc.RegisterFileDevice(0x34);
  bench.Ready(0x34);
  const uint64_t queued = bench.soc.Bus.GetClock().NowNs();
  bench.W(DataCommand, 0x412, 16); // restart, index 0x12
  bench.W(DataCommand, 0x255, 16); // data, stop
  auto at = [&](uint64_t SinceQueued) {
    bench.Advance(queued + SinceQueued - bench.soc.Bus.GetClock().NowNs());
    return bench.soc.I2c.TransmitFifoLevel();
  };
  EXPECT_EQ(at(2 * ByteNs - 1), 2u); // address and index take two byte times
  EXPECT_EQ(at(2 * ByteNs), 1u);
  EXPECT_EQ(device.Peek(0x12), 0xA5);
  EXPECT_EQ(at(3 * ByteNs), 0u);
  EXPECT_EQ(device.Peek(0x12), 0x55);
  EXPECT_EQ(bench.R(Status, 16), 0x06u); // stopped: idle again
  EXPECT_EQ(bench.soc.I2c.BytesOnBus(), 2u);
}

TEST(I2cControllerModel, ReadCommandBringsTheIndexedRegister) {
  Bench bench(WithRegisterFile());
  bench.Ready(0x34);
  bench.W(DataCommand, 0x412, 16);
  EXPECT_EQ(bench.R(Status, 16), 0x23u); // active, queued, room left
  bench.W(DataCommand, 0x700, 16);
  bench.Advance(4 * ByteNs); // address, index, address again, data
  EXPECT_EQ(bench.R(Status, 16), 0x0Eu);
  EXPECT_EQ(bench.R(DataCommand, 16), 0xA5u);
  EXPECT_EQ(bench.R(Status, 16), 0x06u);
}

TEST(I2cControllerModel, WithoutAStopTheControllerHoldsTheBus) {
  Bench bench(WithRegisterFile());
  bench.Ready(0x34);
  bench.W(DataCommand, 0x412, 16);
  bench.Advance(10 * ByteNs);
  EXPECT_EQ(bench.R(Status, 16), 0x27u); // empty but still active
  bench.W(DataCommand, 0x266, 16);       // continues without a new address phase
  bench.Advance(ByteNs);
  EXPECT_EQ(bench.R(Status, 16), 0x06u);
  EXPECT_EQ(bench.soc.RegisterFileDevice(0x34)->Peek(0x12), 0x66);
}

TEST(I2cControllerModel, AMissingAcknowledgeRaisesAbortUntilCleared) {
  struct Case {
    const char* Name;
    uint16_t Device; // where the register file sits
    uint32_t AbortOnByte;
    uint32_t Source;  // TransmitAbortSource
    uint64_t AfterNs; // when the abort shows
  };
  const Case cases[] = {
      {"nobody at the address", 0x35, 0, 0x1, ByteNs},
      {"first byte refused", 0x34, 1, 0x8, 2 * ByteNs},
      {"second byte refused", 0x34, 2, 0x8, 3 * ByteNs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    sim::BoardConfig config = WithRegisterFile(c.Device);
    config.I2c.AbortOnBytes = {c.AbortOnByte};
    Bench bench(config);
    bench.Ready(0x34);
    bench.W(DataCommand, 0x412, 16);
    bench.W(DataCommand, 0x277, 16);
    bench.Advance(c.AfterNs - 400);
    EXPECT_EQ(bench.R(RawInterruptStatus, 16), 0u);
    bench.Advance(400);
    EXPECT_EQ(bench.R(RawInterruptStatus, 16), 0x40u);
    EXPECT_EQ(bench.R(TransmitAbortSource), c.Source);
    EXPECT_EQ(bench.R(Status, 16), 0x06u); // flushed and let go
    bench.W(DataCommand, 0x412, 16);       // dropped while the abort stands
    EXPECT_EQ(bench.soc.I2c.TransmitFifoLevel(), 0u);
    EXPECT_EQ(bench.R(RawInterruptStatus, 16), 0x40u);
    EXPECT_EQ(bench.R(ClearTransmitAbort, 16), 1u);
    EXPECT_EQ(bench.R(RawInterruptStatus, 16), 0u);
    EXPECT_EQ(bench.R(ClearTransmitAbort, 16), 0u);
    if (auto* device = bench.soc.RegisterFileDevice(0x34)) {
      EXPECT_EQ(device->Peek(0x12), 0xA5); // the data byte never landed
    }
  }
}

TEST(I2cControllerModel, FaultsKeepItActiveOrStuck) {
  sim::BoardConfig config = WithRegisterFile();
  config.I2c.StaysActive = true;
  Bench active(config);
  EXPECT_EQ(active.R(Status, 32) & 0x21u, 0x21u);

  config = WithRegisterFile();
  config.I2c.Stalled = true;
  config.I2c.TransmitFifoDepth = 2;
  Bench stuck(config);
  stuck.Ready(0x34);
  stuck.W(DataCommand, 0x412, 16);
  stuck.W(DataCommand, 0x700, 16);
  stuck.Advance(1'000'000'000);
  EXPECT_EQ(stuck.R(Status, 16), 0x21u); // active, full, nothing received
  EXPECT_EQ(stuck.soc.I2c.TransmitFifoLevel(), 2u);
}

TEST(I2cControllerModel, CommandsAreDroppedWhileDisabled) {
  Bench bench(WithRegisterFile());
  bench.W(ConfigBar0, Base);
  bench.W(ConfigCommand, 6);
  bench.W(TargetAddress, 0x34, 16);
  bench.W(DataCommand, 0x412, 16);
  EXPECT_EQ(bench.soc.I2c.TransmitFifoLevel(), 0u);
  bench.W(Enable, 1, 16);
  bench.W(DataCommand, 0x412, 16);
  EXPECT_EQ(bench.soc.I2c.TransmitFifoLevel(), 1u);
  bench.W(Enable, 0, 16); // switching off flushes
  EXPECT_EQ(bench.soc.I2c.TransmitFifoLevel(), 0u);
}

TEST(I2cControllerModel, TenBitTargetsAreReachedOnlyInTheTenBitForm) {
  sim::BoardConfig config;
  config.I2cDevices = {{0x2A5, true, "register-file", {{0x01, 0x99}}, false}};
  config.I2c.BusHz = 0;
  Bench bench(config);
  bench.Ready(0x12A5);
  bench.W(DataCommand, 0x401, 16);
  bench.W(DataCommand, 0x700, 16);
  EXPECT_EQ(bench.R(DataCommand, 16), 0x99u);
  bench.W(TargetAddress, 0x02A5, 16); // the 7-bit reading of the same bits reaches nobody
  bench.W(DataCommand, 0x401, 16);
  EXPECT_EQ(bench.R(RawInterruptStatus, 16), 0x40u);
}

TEST(I2cRegisterDevice, IndexThenDataWithAutoIncrement) {
  sim::I2cRegisterFileDevice device;
  device.Poke(0xFF, 0x11);
  device.Poke(0x00, 0x22);
  ASSERT_TRUE(device.AddressPhase(false));
  EXPECT_TRUE(device.WriteByte(0x40)); // index
  EXPECT_TRUE(device.WriteByte(0xA1));
  EXPECT_TRUE(device.WriteByte(0xA2));
  device.Stop();
  EXPECT_EQ(device.Peek(0x40), 0xA1);
  EXPECT_EQ(device.Peek(0x41), 0xA2);

  ASSERT_TRUE(device.AddressPhase(false));
  EXPECT_TRUE(device.WriteByte(0xFF));
  ASSERT_TRUE(device.AddressPhase(true)); // repeated start keeps the index
  EXPECT_EQ(device.ReadByte(), 0x11);
  EXPECT_EQ(device.ReadByte(), 0x22); // wrapped to 0
  device.Stop();

  device.SetNeverAcknowledges(true);
  EXPECT_FALSE(device.AddressPhase(false));
}

} // namespace

#include "sim/Soc.h"

#include <gtest/gtest.h>

namespace {

using sim::Space;

constexpr uint32_t MessageControl = 0xE00000D0;
constexpr uint32_t MessageData = 0xE00000D4;
constexpr uint32_t MessageAddressExtension = 0xE00000D8;

struct Sideband {
  explicit Sideband(const sim::BoardConfig& Config) : soc(Config) {}
  uint32_t Read(uint32_t Word, uint32_t Extension = 0) {
    soc.Bus.Write(Space::Memory, MessageAddressExtension, 32, Extension);
    soc.Bus.Write(Space::Memory, MessageControl, 32, Word);
    return soc.Bus.Read(Space::Memory, MessageData, 32);
  }
  void Write(uint32_t Word, uint32_t Value) {
    soc.Bus.Write(Space::Memory, MessageAddressExtension, 32, 0);
    soc.Bus.Write(Space::Memory, MessageData, 32, Value);
    soc.Bus.Write(Space::Memory, MessageControl, 32, Word);
  }
  void Advance(uint64_t Ns) { soc.Bus.GetClock().Advance(Ns); }
  sim::Soc soc;
};

constexpr uint32_t ReadSemaphore = 0x060407F0;
constexpr uint32_t WriteSemaphore = 0x070407F0;

TEST(PunitModel, AGrantDelayNearTheEndOfTimeNeverEnds) {
  // A sum of times that wrapped would land in the past and grant at once.
  for (const uint64_t delay : {UINT64_MAX, UINT64_MAX - 1'000, uint64_t{1} << 63}) {
    SCOPED_TRACE(delay);
    sim::BoardConfig config;
    config.Punit.GrantDelayNs = delay;
    Sideband sb(config);
    sb.Advance(5'000);
    sb.Write(WriteSemaphore, 0x102);
    sb.Advance(1'000'000);
    EXPECT_EQ(sb.Read(ReadSemaphore), 0x102u);
    EXPECT_EQ(sb.soc.PUnit.Grants(), 0u);
  }
}

TEST(PunitModel, GrantsARequestOnceItsDelayAndItsOwnHoldAreOver) {
  struct Case {
    const char* Name;
    uint64_t DelayNs;
    uint64_t BusyUntilNs;
    uint64_t GrantAfterRequestNs;
  };
  for (const Case c : {Case{"at once", 0, 0, 0}, Case{"after 50 us", 50'000, 0, 50'000},
                       Case{"busy for 1 ms", 0, 1'000'000, 1'000'000},
                       Case{"delay past the hold", 2'000'000, 1'000'000, 2'000'000}}) {
    SCOPED_TRACE(c.Name);
    sim::BoardConfig config;
    config.Costs = {0, 0, 0, 0}; // requests go out at time 0
    config.Punit.GrantDelayNs = c.DelayNs;
    config.Punit.BusyUntilNs = c.BusyUntilNs;
    Sideband sb(config);
    EXPECT_EQ(sb.Read(ReadSemaphore), 0x100u);
    sb.Write(WriteSemaphore, 0x102);
    if (c.GrantAfterRequestNs > 0) {
      sb.Advance(c.GrantAfterRequestNs - 1);
      EXPECT_EQ(sb.Read(ReadSemaphore), 0x102u);
      sb.Advance(1);
    }
    EXPECT_EQ(sb.Read(ReadSemaphore), 0x101u); // granted, request taken
    sb.Write(WriteSemaphore, 0x100);
    EXPECT_EQ(sb.Read(ReadSemaphore), 0x100u);
    EXPECT_EQ(sb.soc.PUnit.Grants(), 1u);
  }
}

TEST(PunitModel, TheHostCannotTakeTheGrantNorChangeArbitration) {
  sim::BoardConfig config;
  config.Punit.NeverGrants = true;
  Sideband sb(config);
  sb.Write(WriteSemaphore, 0x001); // grant bit without a grant, arbitration bit cleared
  EXPECT_EQ(sb.Read(ReadSemaphore), 0x100u);
  sb.Write(WriteSemaphore, 0x102);
  sb.Advance(1'000'000'000);
  EXPECT_EQ(sb.Read(ReadSemaphore), 0x102u); // never granted, the request stands
  EXPECT_EQ(sb.soc.PUnit.Grants(), 0u);
}

TEST(PunitModel, OutOfResetStates) {
  struct Case {
    bool Arbitrated;
    bool Held;
    uint32_t Value;
  };
  for (const Case c : {Case{true, false, 0x100}, Case{true, true, 0x101}, Case{false, false, 0}}) {
    sim::BoardConfig config;
    config.Punit.Arbitrated = c.Arbitrated;
    config.Punit.HostHoldsBus = c.Held;
    Sideband sb(config);
    EXPECT_EQ(sb.Read(ReadSemaphore), c.Value);
  }
}

TEST(HostBridge, MessagesReachTheUnitAtTheirPortWithTheirByteEnables) {
  sim::BoardConfig config;
  config.Punit.Register6 = 0x11223344;
  Sideband sb(config);
  EXPECT_EQ(sb.Read(0x060406F0), 0x11223344u);
  EXPECT_EQ(sb.Read(0x06040610), 0x00000044u); // low byte only
  sb.Write(0x07040630, 0xAABBCCDD);            // two low bytes only
  EXPECT_EQ(sb.soc.PUnit.Peek(6), 0x1122CCDDu);
  // The extension supplies register bits 31:8.
  sb.soc.Bus.Write(Space::Memory, MessageAddressExtension, 32, 0x100);
  sb.soc.Bus.Write(Space::Memory, MessageData, 32, 0x55);
  sb.soc.Bus.Write(Space::Memory, MessageControl, 32, 0x070406F0);
  EXPECT_EQ(sb.soc.PUnit.Peek(0x106), 0x55u);
  EXPECT_EQ(sb.soc.PUnit.Peek(6), 0x1122CCDDu);
  // Nobody at port 5: reads complete with all ones.
  EXPECT_EQ(sb.Read(0x060506F0), 0xFFFFFFFFu);
  EXPECT_EQ(sb.soc.Host.Messages(), 5u);
}

} // namespace

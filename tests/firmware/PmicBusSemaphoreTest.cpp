#include "i2c/PmicBusSemaphore.h"
#include "firmware/I2cBusSteps.h"
#include "i2c/Sideband.h"
#include "sim/decode/BusDecoder.h"
#include "support/DecodePrinters.h"

#include <algorithm>

using namespace testsupport;
using namespace i2csteps;

namespace {

constexpr uint32_t ReadSemaphore = 0x060407F0;
constexpr uint32_t WriteSemaphore = 0x070407F0;

std::vector<Expected> SidebandReadSteps(uint32_t Word, uint32_t Value) {
  return {W32(MessageAddressExtension, 0), W32(MessageControl, Word), R32(MessageData, Value)};
}
std::vector<Expected> SidebandWriteSteps(uint32_t Word, uint32_t Value) {
  return {W32(MessageAddressExtension, 0), W32(MessageData, Value), W32(MessageControl, Word)};
}
std::vector<Expected> GrantPoll(uint8_t LowByte) {
  return {W32(MessageAddressExtension, 0),
          W32(MessageControl, ReadSemaphore),
          {sim::AccessOp::Read, 8, MessageData, LowByte}};
}

class PmicBusSemaphoreTest : public BoardTest {
protected:
  PmicBusSemaphoreTest() { Config.AcpiBase = 0x0402; }
};

TEST_F(PmicBusSemaphoreTest, SidebandMessagesPutDataBeforeTheWordThatActs) {
  struct Case {
    uint8_t Port;
    uint8_t Register;
    uint32_t ReadWord;
    uint32_t WriteWord;
  };
  // Register 7, the semaphore, is not plain storage; its words are checked with the semaphore.
  for (const Case c :
       {Case{0x04, 0x06, 0x060406F0, 0x070406F0}, Case{0x04, 0x42, 0x060442F0, 0x070442F0},
        Case{0x04, 0xFF, 0x0604FFF0, 0x0704FFF0}}) {
    SCOPED_TRACE(c.Register);
    Config.Punit.Arbitrated = false;
    sim::Soc& board = Install();
    SidebandWrite(c.Port, c.Register, 0x00C0FFEE);
    EXPECT_EQ(SidebandRead(c.Port, c.Register), 0x00C0FFEEu);
    EXPECT_EQ(Steps(), Join({SidebandWriteSteps(c.WriteWord, 0x00C0FFEE),
                             SidebandReadSteps(c.ReadWord, 0x00C0FFEE)}));
    EXPECT_EQ(board.PUnit.Peek(c.Register), 0x00C0FFEEu);
  }
}

TEST_F(PmicBusSemaphoreTest, RegisterSixIsPlainStorageBehindThePunit) {
  Config.Punit.Register6 = 0x12345678;
  Install();
  EXPECT_EQ(SidebandRead(SidebandPortPunit, 6), 0x12345678u);
  EXPECT_EQ(SidebandReadLowByte(SidebandPortPunit, 6), 0x78);
  EXPECT_EQ(Steps(), Join({SidebandReadSteps(0x060406F0, 0x12345678),
                           {W32(MessageAddressExtension, 0), W32(MessageControl, 0x060406F0),
                            R8(MessageData, 0x78)}}));
}

// An update writes back what it read, changed; a read of all ones got no answer, and is not
// written back with every bit the update does not own set.
TEST_F(PmicBusSemaphoreTest, AnUpdateWritesNothingBackOverANonAnswer) {
  const std::pair<uint32_t, std::vector<Expected>> cases[] = {
      {0x12345678, SidebandWriteSteps(0x070406F0, 0x0E345678)},
      {0xFFFFFFFF, {}},
  };
  for (const auto& [held, write] : cases) {
    SCOPED_TRACE(held);
    Config.Punit.Register6 = held;
    Install();
    SidebandUpdate(SidebandPortPunit, 6, 0x10000000, 0x0C000000);
    EXPECT_EQ(Steps(), Join({SidebandReadSteps(0x060406F0, held), write}));
  }
}

TEST_F(PmicBusSemaphoreTest, AcquireTakesTheShortestPathTheRegisterAllows) {
  struct Case {
    const char* Name;
    sim::PunitConfig Punit;
    std::vector<Expected> Steps;
  };
  sim::PunitConfig notArbitrated;
  notArbitrated.Arbitrated = false;
  sim::PunitConfig held;
  held.HostHoldsBus = true;
  sim::PunitConfig free;
  const Case cases[] = {
      {"bit 8 clear: nothing asked", notArbitrated, SidebandReadSteps(ReadSemaphore, 0x000)},
      {"already held: no new request", held, SidebandReadSteps(ReadSemaphore, 0x101)},
      {"granted on the first poll", free,
       Join({SidebandReadSteps(ReadSemaphore, 0x100),
             SidebandReadSteps(ReadSemaphore, 0x100),
             SidebandWriteSteps(WriteSemaphore, 0x102),
             {Wait(10)},
             GrantPoll(0x01)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.Punit = c.Punit;
    Install();
    PmicBusHold hold = {};
    EXPECT_EQ(AcquirePmicBus(hold), EFI_SUCCESS);
    EXPECT_EQ(Steps(), c.Steps);
  }
}

// The release always writes the register back with the grant cleared. A read that gets no answer
// is not written back with every bit set: the grant is cleared in what the hold knows, the reading
// its acquire's request was built on, so the bus is handed back all the same.
TEST_F(PmicBusSemaphoreTest, ReleaseClearsOnlyTheGrantWhateverTheState) {
  struct Case {
    const char* Name;
    bool Arbitrated;
    bool Held;
    uint32_t Before;
    uint32_t Known;   // what the hold knows from its acquire
    bool ReadAnswers; // false: the release's read gets all ones
    uint32_t Written;
  };
  const Case cases[] = {
      {"not arbitrated", false, false, 0x000, 0x100, true, 0x000},
      {"held", true, true, 0x101, 0x100, true, 0x100},
      {"free", true, false, 0x100, 0x102, true, 0x100},
      // No answer: the bits the hold knows, the grant cleared and the request bit as read (set).
      {"held, read not answered", true, true, 0x101, 0x4101, false, 0x4102},
      {"held, nothing known", true, true, 0x101, PmicBusSemaphoreResting, false, 0x102},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.Punit.Arbitrated = c.Arbitrated;
    Config.Punit.HostHoldsBus = c.Held;
    Config.Punit.ReadsAllOnes.clear();
    if (!c.ReadAnswers) {
      Config.Punit.ReadsAllOnes.push_back({7, 1});
    }
    sim::Soc& board = Install();
    ReleasePmicBus(PmicBusHold{c.Known});
    EXPECT_EQ(Steps(), Join({SidebandReadSteps(ReadSemaphore, c.ReadAnswers ? c.Before : ~0u),
                             SidebandWriteSteps(WriteSemaphore, c.Written)}));
    // The grant is dropped; a request bit written back set asks for the bus anew, and this P-Unit
    // grants at once.
    EXPECT_EQ(board.PUnit.HostHoldsBus(), (c.Written & 0x2) != 0);
    EXPECT_EQ(board.PUnit.Grants(), (c.Written & 0x2) != 0 ? 1u : 0u);
  }
}

// A hold whose release reads no answer drops the grant in the bits its request was built on, and
// writes the request bit as that read gave it: set, so the bus is asked for again.
TEST_F(PmicBusSemaphoreTest, AReleaseThatReadsNothingKeepsTheRequestBitAsRead) {
  Config.Punit.ReadsAllOnes = {{7, 4}}; // the acquire reads three times, the release once
  sim::Soc& board = Install();
  PmicBusHold hold = {};
  EXPECT_EQ(AcquirePmicBus(hold), EFI_SUCCESS);
  EXPECT_TRUE(board.PUnit.HostHoldsBus());
  ReleasePmicBus(hold);
  EXPECT_EQ(Steps(), Join({SidebandReadSteps(ReadSemaphore, 0x100),
                           SidebandReadSteps(ReadSemaphore, 0x100),
                           SidebandWriteSteps(WriteSemaphore, 0x102),
                           {Wait(10)},
                           GrantPoll(0x01),
                           SidebandReadSteps(ReadSemaphore, 0xFFFFFFFF),
                           SidebandWriteSteps(WriteSemaphore, 0x102)}));
  // This P-Unit grants the request written back at once: a second grant.
  EXPECT_TRUE(board.PUnit.HostHoldsBus());
  EXPECT_EQ(board.PUnit.Grants(), 2u);
}

// The release after the time-out writes the request back as it stands, whether its read answers
// or not: its 30002nd read of register 7 (the first, the request's, 29999 polls, then the release).
TEST_F(PmicBusSemaphoreTest, NoGrantGivesUpAfter30000WaitsReleasesAndReadsOnceMore) {
  for (const bool releaseAnswers : {true, false}) {
    SCOPED_TRACE(releaseAnswers);
    Config.Punit.NeverGrants = true;
    Config.Punit.ReadsAllOnes.clear();
    if (!releaseAnswers) {
      Config.Punit.ReadsAllOnes.push_back({7, 30002});
    }
    Config.Costs.PortRead = 5000; // fewer timer reads per wait; the waits stay 10 us long
    sim::Soc& board = Install();
    PmicBusHold hold = {};
    EXPECT_EQ(AcquirePmicBus(hold), EFI_TIMEOUT);

    std::vector<Expected> expected =
        Join({SidebandReadSteps(ReadSemaphore, 0x100), SidebandReadSteps(ReadSemaphore, 0x100),
              SidebandWriteSteps(WriteSemaphore, 0x102)});
    Repeat(expected, 29999, Join({{Wait(10)}, GrantPoll(0x02)}));
    expected = Join({expected,
                     {Wait(10)},
                     SidebandReadSteps(ReadSemaphore, releaseAnswers ? 0x102 : 0xFFFFFFFF),
                     SidebandWriteSteps(WriteSemaphore, 0x102), // the request stays as read
                     SidebandReadSteps(ReadSemaphore, 0x102)});
    EXPECT_EQ(Steps(), expected);
    EXPECT_GE(board.Bus.GetClock().NowNs(), 300'000'000u);

    EXPECT_FALSE(board.PUnit.HostHoldsBus());
    if (releaseAnswers) { // all ones has bit 0 set: a hold's decoder takes it for a grant
      const auto holds = sim::decode::DecodeBus(board.Bus.GetTrace().Accesses()).Holds;
      ASSERT_EQ(holds.size(), 1u);
      EXPECT_TRUE(holds[0].Requested);
      EXPECT_FALSE(holds[0].Granted);
      EXPECT_TRUE(holds[0].Released);
    }
  }
}

TEST_F(PmicBusSemaphoreTest, APunitThatHoldsTheBusIsWaitedFor) {
  struct Case {
    const char* Name;
    uint64_t GrantDelayNs;
    uint64_t BusyUntilNs;
    uint64_t GrantedNoEarlierThanNs;
  };
  for (const Case c :
       {Case{"slow grant", 95'000, 0, 95'000}, Case{"busy for 2 ms", 0, 2'000'000, 2'000'000},
        Case{"both", 50'000, 1'000'000, 1'000'000}}) {
    SCOPED_TRACE(c.Name);
    Config.Punit.GrantDelayNs = c.GrantDelayNs;
    Config.Punit.BusyUntilNs = c.BusyUntilNs;
    sim::Soc& board = Install();
    PmicBusHold hold = {};
    EXPECT_EQ(AcquirePmicBus(hold), EFI_SUCCESS);
    EXPECT_TRUE(board.PUnit.HostHoldsBus());
    ReleasePmicBus(hold);
    EXPECT_FALSE(board.PUnit.HostHoldsBus());

    const auto holds = sim::decode::DecodeBus(board.Bus.GetTrace().Accesses()).Holds;
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_TRUE(holds[0].Granted);
    EXPECT_TRUE(holds[0].Released);
    EXPECT_GE(holds[0].AcquireNs, c.GrantedNoEarlierThanNs);
    // Polls are a little over 10 us apart, so the grant is seen within one poll of coming.
    EXPECT_LT(holds[0].AcquireNs, c.GrantedNoEarlierThanNs + 15'000);
    // Every poll before the grant read the request still pending.
    const auto steps = Steps();
    const size_t polls = std::count(steps.begin(), steps.end(), Wait(10));
    EXPECT_EQ(
        std::count(steps.begin(), steps.end(), Expected{sim::AccessOp::Read, 8, MessageData, 2}),
        static_cast<long>(polls - 1));
  }
}

} // namespace

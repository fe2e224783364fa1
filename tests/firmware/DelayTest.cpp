#include "platform/Delay.h"
#include "sim/Board.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/run/HostRun.h"

#include <gtest/gtest.h>

namespace {

// A timer that moves by a fixed step every Repeats reads, so a wait's read and pause counts
// follow from the span lengths alone.
class SteppingTimer : public sim::Device {
public:
  SteppingTimer(uint32_t Start, uint32_t Step, uint32_t Mask, uint32_t Repeats)
      : next_(Start), step_(Step), mask_(Mask), repeats_(Repeats) {}
  std::string_view Name() const override { return "stepping-timer"; }
  uint32_t Read(uint32_t, unsigned) override {
    const uint32_t value = next_ & mask_;
    if (++reads % repeats_ == 0) {
      next_ += step_;
    }
    return value;
  }
  void Write(uint32_t, unsigned, uint32_t) override {}
  uint64_t reads = 0;

private:
  uint32_t next_, step_, mask_, repeats_;
};

struct Counts {
  uint64_t Reads;
  uint64_t Pauses;
  bool operator==(const Counts&) const = default;
};

Counts Wait(uint32_t Ticks, uint32_t Start, uint32_t Step, uint32_t Mask, bool InMicroseconds,
            uint32_t Repeats = 1) {
  sim::Board board;
  auto& timer = board.Add(std::make_unique<SteppingTimer>(Start, Step, Mask, Repeats));
  board.Map(sim::Space::Port, 0x408, 4, timer);
  tools::BoardInstallation installed(board);
  InMicroseconds ? DelayMicroseconds(Ticks) : WaitPmTimerTicks(Ticks);
  return {timer.reads, board.Pauses()};
}

// With a step of one count per read, a span of L costs a start reading, then L + 1 tests, of
// which all but the first follow a pause. 88 us is 314.99996 ticks: the first wait that rounding,
// or a divisor a little off, would lengthen.
TEST(Delay, MicrosecondsBecomeTruncatedTicks) {
  struct Case {
    uint32_t Microseconds;
    uint32_t Ticks;
  };
  for (const Case c : {Case{0, 0}, Case{1, 3}, Case{2, 7}, Case{10, 35}, Case{50, 178},
                       Case{88, 314}, Case{100, 357}, Case{100000, 357954}}) {
    SCOPED_TRACE(c.Microseconds);
    EXPECT_EQ(Wait(c.Microseconds, 0x1000, 1, 0xFFFFFF, true), (Counts{c.Ticks + 2ull, c.Ticks}));
  }
}

TEST(Delay, LongWaitsRunThePartialSpanFirstThenFullSpans) {
  constexpr uint32_t Step = 0x10000;
  struct Case {
    uint32_t Ticks;
    Counts Expected;
  };
  const Case cases[] = {
      // One span of 0x3FFFFF: 63 steps stay within it, the 64th passes it.
      {0x3FFFFF, {1 + 64, 63}},
      // A span of 0 (start reading, one test) then a full span of 0x400000 (start, 65 tests).
      {0x400000, {2 + 1 + 65, 64}},
      // Partial span of 0x10 (start, one test) and two full spans.
      {0x800010, {2 + 2 * 66, 2 * 64}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Ticks);
    EXPECT_EQ(Wait(c.Ticks, 0, Step, 0xFFFFFF, false), c.Expected);
    // The bit-23 test needs only the low 24 bits: a 32-bit counter gives the same waits.
    EXPECT_EQ(Wait(c.Ticks, 0, Step, 0xFFFFFFFF, false), c.Expected);
  }
}

// From 1200 s on, the product of microseconds and the timer's rate passes 32 bits; the wait is
// still the low 32 bits of the exact quotient, as a coarse timer shows span by span.
TEST(Delay, LongMicrosecondDelaysKeepTheLow32BitsOfTheTicks) {
  for (const uint32_t microseconds : {1'300'000'000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(microseconds);
    const auto ticks = static_cast<uint32_t>(uint64_t{microseconds} * 3579545 / 1000000);
    EXPECT_EQ(Wait(microseconds, 0, 0x10000, 0xFFFFFF, true),
              Wait(ticks, 0, 0x10000, 0xFFFFFF, false));
  }
}

TEST(Delay, SpanEndsAfterLengthPlusOneAcrossTheCounterWrap) {
  // Start 0x10 counts before the 24-bit wrap; a span of 0x20 ends at the 0x21st count.
  EXPECT_EQ(Wait(0x20, 0xFFFFF0, 1, 0xFFFFFF, false), (Counts{1 + 0x21, 0x20}));
  EXPECT_EQ(Wait(0x20, 0xFFFFFFF0, 1, 0xFFFFFFFF, false), (Counts{1 + 0x21, 0x20}));
}

// The counter moves every 279.4 ns, so read every 50 ns it shows one value up to 6 times; 16
// readings of one value are still a moving counter. A counter that shows one value to the start
// reading and 16 tests after it is frozen, and the whole wait ends there, however many spans it
// had left (100 us is 357 ticks; 0x800010 ticks are three spans).
TEST(Delay, OnlyAFrozenTimerEndsTheWaitEarly) {
  struct Case {
    const char* What;
    uint32_t Ticks;
    uint32_t Step;
    uint32_t Repeats;
    Counts Expected;
  };
  const Case cases[] = {
      {"read every 50 ns", 357, 1, 6, {358 * 6 + 1, 358 * 6 - 1}},
      {"16 readings a value", 357, 1, 16, {358 * 16 + 1, 358 * 16 - 1}},
      {"frozen", 357, 0, 1, {1 + 16, 15}},
      {"frozen, three spans", 0x800010, 0, 1, {1 + 16, 15}},
      {"17 readings a value", 357, 1, 17, {1 + 16, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(Wait(c.Ticks, 0x1234, c.Step, 0xFFFFFF, false, c.Repeats), c.Expected);
  }
  // The ACPI window decoded elsewhere: port 0x408 reads all ones.
  sim::BoardConfig config;
  config.AcpiBase = 0x0502;
  sim::Soc soc(config);
  tools::BoardInstallation installed(soc.Bus);
  DelayMicroseconds(100000);
  EXPECT_EQ(soc.Bus.GetTrace().Accesses().size(), 17u);
}

// Without the bus controller every I2C and semaphore wait runs to its bound, one short delay per
// poll. With the timer not decoded as well, each of those delays ends on the frozen-timer count:
// the boot must still come close to the one whose timer counts.
TEST(Delay, AFrozenTimerCostsABootLittleMoreThanACountingOne) {
  sim::BoardConfig counting = sim::LoadBoardFile(BOARDINIT_BOARDS_DIR "/default.json");
  counting.I2c.Present = false;
  sim::BoardConfig frozen = counting;
  frozen.AcpiBase = 0x0502;
  boardsim::RunOptions host;
  host.Host = true;
  uint64_t timeNs[2] = {};
  for (int i = 0; i < 2; ++i) {
    sim::Soc soc(i == 0 ? counting : frozen);
    EXPECT_EQ(boardsim::RunModule(host, soc, BOARDINIT_IMAGE).Result.Status, 0u);
    timeNs[i] = soc.Bus.GetClock().NowNs();
  }
  EXPECT_GT(timeNs[0], 400'000'000u);
  EXPECT_LT(timeNs[1], 5 * timeNs[0]);
}

TEST(Delay, RealTimerWaitsAtLeastTheAskedTime) {
  sim::BoardConfig config;
  config.AcpiBase = 0x0402;
  config.PmTimerStart = 0xFFFF00; // wraps during the wait
  sim::Soc soc(config);
  tools::BoardInstallation installed(soc.Bus);
  DelayMicroseconds(100000);
  const uint64_t elapsed = soc.Bus.GetClock().NowNs();
  EXPECT_GE(elapsed, 100'000'000u);
  // One port read of overshoot at most, plus the rounding of the tick count.
  EXPECT_LE(elapsed, 100'000'000u + 2 * soc.Bus.Costs().PortRead);
}

} // namespace

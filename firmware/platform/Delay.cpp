#include "platform/Delay.h"
#include "platform/RegisterAccess.h"

namespace {
constexpr uint16_t PmTimerPort = 0x408; // offset 8 of the ACPI I/O window at 0x400
constexpr uint32_t PmTimerHz = 3579545;
constexpr uint32_t MicrosecondsPerSecond = 1000000;

// A wait is cut into spans short enough that bit 23 of (Target - Now) tells "before" from
// "after" even when the counter is only 24 bits wide and wraps inside a span.
constexpr uint32_t FullSpanTicks = 0x400000;
constexpr uint32_t PartialSpanMask = FullSpanTicks - 1;
constexpr uint32_t FullSpanShift = 22;
constexpr uint32_t SpanOverBit = 0x800000;

// The counter moves every 280 ns (3,579,545 Hz), and no port read is faster than 50 ns, so a
// moving counter shows one value to at most 6 readings in a row. A counter whose value this many
// readings in a row repeat (17 readings of one value) is not counting (the ACPI window decoded
// somewhere else, the timer switched off): the wait gives up rather than spin for ever. The count
// keeps a margin of more than twice the fastest read, and is small because every delay on such a
// board pays it again: the module keeps no state from one delay to the next.
constexpr uint32_t FrozenTimerReads = 16;

// The loop is written for the common case, a counter that moved since the last reading: then
// only the target is tested, and the frozen-timer count (readings a repeat may still take) is
// looked at only when a reading repeats. Readings are kept as Now - (Target + 1), the complement
// of Target - Now: bit 23 is set while the target is ahead, and two readings are equal exactly
// when the counter values are. Returns false when the counter was found frozen.
bool WaitOneSpan(uint32_t Length) {
  const uint32_t start = IoRead32(PmTimerPort);
  const uint32_t pastTarget = start + Length + 1;
  // The first test follows the start reading at once; every later one comes after a pause. The
  // first reading may already repeat the start.
  const uint32_t first = IoRead32(PmTimerPort);
  uint32_t repeatsLeft = first == start ? FrozenTimerReads - 1 : FrozenTimerReads;
  uint32_t reading = first - pastTarget;
  if ((reading & SpanOverBit) == 0) {
    return true;
  }
  for (;;) {
    CpuPause();
    const uint32_t next = IoRead32(PmTimerPort) - pastTarget;
    if (__builtin_expect(next == reading, 0)) {
      if (--repeatsLeft == 0) {
        return false;
      }
      continue;
    }
    reading = next;
    repeatsLeft = FrozenTimerReads;
    if ((reading & SpanOverBit) == 0) {
      return true;
    }
  }
}
} // namespace

void DelayMicroseconds(uint32_t Microseconds) {
  // Ticks = Microseconds * PmTimerHz / 10^6, of which only the low 32 bits are waited. The
  // 64-bit product's high word contributes its remainder only; the rest is divided in 8-bit
  // digits, each step small enough for a 32-bit division (the remainder stays below 2^20).
  const uint64_t product = static_cast<uint64_t>(Microseconds) * PmTimerHz;
  uint32_t remainder = static_cast<uint32_t>(product >> 32) % MicrosecondsPerSecond;
  uint32_t low = static_cast<uint32_t>(product);
  uint32_t ticks = 0;
  for (int digit = 0; digit < 4; ++digit) {
    remainder = (remainder << 8) | (low >> 24);
    low <<= 8;
    ticks = (ticks << 8) | remainder / MicrosecondsPerSecond;
    remainder %= MicrosecondsPerSecond;
  }
  WaitPmTimerTicks(ticks);
}

void WaitPmTimerTicks(uint32_t Ticks) {
  // The partial span runs first, also when it is 0 long; each span takes its own start reading.
  // A counter found frozen in one span ends the whole wait: the later spans would only pay the
  // frozen-timer count again.
  if (!WaitOneSpan(Ticks & PartialSpanMask)) {
    return;
  }
  for (uint32_t span = Ticks >> FullSpanShift; span != 0; --span) {
    if (!WaitOneSpan(FullSpanTicks)) {
      return;
    }
  }
}

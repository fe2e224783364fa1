#include "platform/Delay.h"
#include "platform/RegisterAccess.h"

namespace {
constexpr uint16_t PmTimerPort = 0x408; // offset 8 of the ACPI I/O window at 0x400
constexpr uint64_t PmTimerHz = 3579545;
constexpr uint64_t MicrosecondsPerSecond = 1000000;

// A wait is cut into spans short enough that bit 23 of (Target - Now) tells "before" from
// "after" even when the counter is only 24 bits wide and wraps inside a span.
constexpr uint32_t FullSpanTicks = 0x400000;
constexpr uint32_t PartialSpanMask = FullSpanTicks - 1;
constexpr uint32_t FullSpanShift = 22;
constexpr uint32_t SpanOverBit = 0x800000;

void WaitOneSpan(uint32_t Length) {
  const uint32_t target = IoRead32(PmTimerPort) + Length;
  // The first test follows the start reading at once; every later one comes after a pause.
  if ((target - IoRead32(PmTimerPort)) & SpanOverBit) {
    return;
  }
  do {
    CpuPause();
  } while (((target - IoRead32(PmTimerPort)) & SpanOverBit) == 0);
}
} // namespace

void DelayMicroseconds(uint32_t Microseconds) {
  // Cannot overflow: 2^32 * 3579545 < 2^64. Only the low 32 bits of the quotient are waited.
  const uint64_t ticks = static_cast<uint64_t>(Microseconds) * PmTimerHz / MicrosecondsPerSecond;
  WaitPmTimerTicks(static_cast<uint32_t>(ticks));
}

void WaitPmTimerTicks(uint32_t Ticks) {
  // The partial span runs first, also when it is 0 long; each span takes its own start reading.
  WaitOneSpan(Ticks & PartialSpanMask);
  for (uint32_t span = Ticks >> FullSpanShift; span != 0; --span) {
    WaitOneSpan(FullSpanTicks);
  }
}

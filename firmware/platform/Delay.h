// Busy-wait delays on the ACPI power-management timer, the module's only time base.
// The ACPI I/O window must already be decoded at 0x400 (the entry does that first).
#pragma once

#include <stdint.h>

// Waits at least Microseconds, to the timer's resolution (about 0.28 us).
void DelayMicroseconds(uint32_t Microseconds);

// Waits until the timer has moved on by more than Ticks counts.
void WaitPmTimerTicks(uint32_t Ticks);

// One-byte PMIC register access over the PMIC bus, and register update tables. Written once with
// the device address and the locking rule as arguments; each variant wraps them in the
// context-free operations its descriptor slots need.
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

// 7-bit device addresses on the PMIC bus.
constexpr uint8_t PmicDevice34 = 0x34;
constexpr uint8_t PmicDevice5E = 0x5E;
constexpr uint8_t PmicDevice6E = 0x6E;

// Whether an access takes the bus semaphore that shares the bus with the P-Unit.
enum class PmicBusLock : uint8_t { None, PerAccess };

// A register read never fails: a failed transfer reads as 0xFF.
constexpr uint8_t PmicFailedRead = 0xFF;

uint8_t PmicReadRegister(uint8_t Device, uint8_t Register, PmicBusLock Lock);
// The same read, for the read-modify-writes: false when the transfer failed (Value is then
// 0xFF, as PmicReadRegister gives it). A value built from bits of a failed read is never written:
// those bits were not read, and writing them would corrupt the register.
bool PmicReadRegisterChecked(uint8_t Device, uint8_t Register, PmicBusLock Lock, uint8_t* Value);
EFI_STATUS PmicWriteRegister(uint8_t Device, uint8_t Register, uint8_t Value, PmicBusLock Lock);

// Read-modify-write as two transfers, each locked on its own (a locking variant releases the bus
// between them): New = (Old & Keep) | Set. After a failed read nothing is written and the result
// is EFI_DEVICE_ERROR (every caller keeps bits of the old value); after a good read it is the
// write's status.
EFI_STATUS PmicModifyRegister(uint8_t Device, uint8_t Register, PmicBusLock Lock, uint8_t Keep,
                              uint8_t Set);

// One step of a constant register update table. The new value is formed from the register's
// value read just before the step; a Mask of 0 or an unknown Operation writes nothing.
struct PmicRegisterUpdate {
  uint8_t Register;
  uint32_t Operation;
  uint8_t Mask;
  uint8_t Value;
};

constexpr uint32_t UpdateMasked = 0; // (Value & Mask) | (old & ~Mask)
constexpr uint32_t UpdateAnd = 1;    // old & Mask & Value
constexpr uint32_t UpdateOr = 2;     // old | (Mask & Value)
constexpr uint32_t UpdateClear = 3;  // old & ~Mask

// Applies Count steps in order, each reading its register right before writing it. A locked
// instance holds the semaphore once around the whole table, even for an empty one. Always
// EFI_SUCCESS: failed transfers are neither reported nor a reason to stop. A step whose read
// failed writes only when its new value does not depend on the old one (a whole-register value).
EFI_STATUS ApplyRegisterUpdates(uint8_t Device, PmicBusLock Lock, const PmicRegisterUpdate* Table,
                                uint32_t Count);

template <uint32_t N>
EFI_STATUS ApplyRegisterUpdates(uint8_t Device, PmicBusLock Lock,
                                const PmicRegisterUpdate (&Table)[N]) {
  return ApplyRegisterUpdates(Device, Lock, Table, N);
}

// Writes Value and reads the register back, at most Attempts times with no delay between
// attempts, each transfer on its own (a locking variant releases the bus in between). True when
// a read-back matched Value in the bits of CompareMask.
bool PmicWriteVerified(uint8_t Device, PmicBusLock Lock, uint8_t Register, uint8_t Value,
                       uint8_t CompareMask, uint32_t Attempts);

// How long a caller waits for a PMIC's conversion: reads of the busy register follow each other
// with no delay, and each is a register read on the bus (an address phase and a byte each way,
// 36 bit times, 90 us at the 400 kHz the controller is set up for). 556 of them span at least
// 50 ms, ten times the slowest conversion a healthy device takes, and end a wait on a device
// whose busy bit never clears, or on a failed bus, whose reads give 0xFF with every bit set. A
// bus that answers slowly makes each poll slower, never more of them: 556 polls that each wait
// out the semaphore's time-out take about 167 s.
constexpr uint32_t PmicConversionPollLimit = 556;

// A PMIC's 10-bit converter, as ReadVoltage uses it: a conversion reports busy in the bits of
// BusyMask of the Control register; the reading has bits 9-8 in bits 1-0 of High and bits 7-0 in
// Low, and the voltage is reading * Numerator / Denominator.
struct PmicConverter {
  uint8_t Control;
  uint8_t BusyMask;
  uint8_t High;
  uint8_t Low;
  uint32_t Numerator;
  uint32_t Denominator;
};

// Reads Control until the busy bits read clear, at most PmicConversionPollLimit times, then High
// and Low, and scales the reading. Starting the conversion is the caller's. A poll that failed
// reads 0xFF, busy, and the wait goes on: the device may answer the next one.
//
// A conversion that never ended (the bound ran out, on a converter stuck busy or a bus that never
// answered) leaves the result registers as an earlier conversion left them, so they are not read:
// the result is full scale (PmicConversionFailed), the value a dead bus has always given, in the
// documented range and never a hang.
uint32_t PmicReadConversion(uint8_t Device, PmicBusLock Lock, const PmicConverter& Converter);

// Full scale: what ReadVoltage gives when no conversion of this call produced a reading.
constexpr uint32_t PmicConversionFailed(const PmicConverter& Converter) {
  return 0x3FFu * Converter.Numerator / Converter.Denominator;
}

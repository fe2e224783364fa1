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
EFI_STATUS PmicWriteRegister(uint8_t Device, uint8_t Register, uint8_t Value, PmicBusLock Lock);

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
// EFI_SUCCESS: failed transfers are neither reported nor a reason to stop.
EFI_STATUS ApplyRegisterUpdates(uint8_t Device, PmicBusLock Lock, const PmicRegisterUpdate* Table,
                                uint32_t Count);

#include "pmic/PmicRegisterAccess.h"

#include "i2c/I2cController.h"
#include "i2c/PmicBusSemaphore.h"

namespace {
// A bus that was not granted in time is used all the same, and released all the same. The hold
// carries what the acquire learnt of the semaphore to the release.
void Acquire(PmicBusLock Lock, PmicBusHold& Hold) {
  if (Lock == PmicBusLock::PerAccess) {
    AcquirePmicBus(Hold);
  }
}

void Release(PmicBusLock Lock, const PmicBusHold& Hold) {
  if (Lock == PmicBusLock::PerAccess) {
    ReleasePmicBus(Hold);
  }
}

bool ReadUnlocked(uint8_t Device, uint8_t Register, uint8_t* Value) {
  *Value = 0;
  if (I2cReadRegister(Device, Register, Value) != EFI_SUCCESS) {
    *Value = PmicFailedRead;
    return false;
  }
  return true;
}

// Every operation keeps some bits of the old value and sets others: New = (Old & Keep) | Set.
// False for an operation that is not known. Each starts from the masked write's bits.
bool OperationBits(uint32_t Operation, uint8_t Mask, uint8_t Value, uint8_t& Keep, uint8_t& Set) {
  const uint8_t masked = Mask & Value;
  Keep = static_cast<uint8_t>(~Mask);
  Set = masked;
  switch (Operation) {
  case UpdateMasked: // (Value & Mask) | (Old & ~Mask)
    return true;
  case UpdateAnd: // Old & Mask & Value
    Keep = masked;
    Set = 0;
    return true;
  case UpdateOr: // Old | (Mask & Value)
    Keep = 0xFF;
    return true;
  case UpdateClear: // Old & ~Mask
    Set = 0;
    return true;
  default:
    return false;
  }
}
// New = (Old & Keep) | Set is the same whatever Old holds.
constexpr bool WriteIgnoresOld(uint8_t Keep, uint8_t Set) {
  return (Keep & static_cast<uint8_t>(~Set)) == 0;
}

} // namespace

bool PmicReadRegisterChecked(uint8_t Device, uint8_t Register, PmicBusLock Lock, uint8_t* Value) {
  PmicBusHold hold = {};
  Acquire(Lock, hold);
  const bool read = ReadUnlocked(Device, Register, Value);
  Release(Lock, hold);
  return read;
}

uint8_t PmicReadRegister(uint8_t Device, uint8_t Register, PmicBusLock Lock) {
  uint8_t value = 0;
  PmicReadRegisterChecked(Device, Register, Lock, &value);
  return value;
}

EFI_STATUS PmicWriteRegister(uint8_t Device, uint8_t Register, uint8_t Value, PmicBusLock Lock) {
  PmicBusHold hold = {};
  Acquire(Lock, hold);
  const EFI_STATUS status = I2cWriteRegister(Device, Register, &Value);
  Release(Lock, hold);
  return status;
}

EFI_STATUS PmicModifyRegister(uint8_t Device, uint8_t Register, PmicBusLock Lock, uint8_t Keep,
                              uint8_t Set) {
  uint8_t old = 0;
  if (!PmicReadRegisterChecked(Device, Register, Lock, &old)) {
    return EFI_DEVICE_ERROR;
  }
  return PmicWriteRegister(Device, Register, static_cast<uint8_t>((old & Keep) | Set), Lock);
}

EFI_STATUS ApplyRegisterUpdates(uint8_t Device, PmicBusLock Lock, const PmicRegisterUpdate* Table,
                                uint32_t Count) {
  PmicBusHold hold = {};
  Acquire(Lock, hold);
  for (uint32_t step = 0; step < Count; ++step) {
    const PmicRegisterUpdate& update = Table[step];
    // The read is made even for a step that then writes nothing.
    uint8_t old = 0;
    const bool read = ReadUnlocked(Device, update.Register, &old);
    uint8_t keep = 0;
    uint8_t set = 0;
    if (update.Mask == 0 ||
        !OperationBits(update.Operation, update.Mask, update.Value, keep, set)) {
      continue;
    }
    // After a failed read, only a value that every old value would give is written: one that
    // keeps no bit of the old value beyond those it sets anyway.
    if (read || WriteIgnoresOld(keep, set)) {
      uint8_t value = static_cast<uint8_t>((old & keep) | set);
      I2cWriteRegister(Device, update.Register, &value);
    }
  }
  Release(Lock, hold);
  return EFI_SUCCESS;
}

bool PmicWriteVerified(uint8_t Device, PmicBusLock Lock, uint8_t Register, uint8_t Value,
                       uint8_t CompareMask, uint32_t Attempts) {
  for (uint32_t attempt = 0; attempt < Attempts; ++attempt) {
    PmicWriteRegister(Device, Register, Value, Lock);
    if ((PmicReadRegister(Device, Register, Lock) & CompareMask) == (Value & CompareMask)) {
      return true;
    }
  }
  return false;
}

uint32_t PmicReadConversion(uint8_t Device, PmicBusLock Lock, const PmicConverter& Converter) {
  // A failed poll reads 0xFF, busy like any other busy reading: only the bound ends the wait.
  uint32_t polls = 0;
  while ((PmicReadRegister(Device, Converter.Control, Lock) & Converter.BusyMask) != 0) {
    if (++polls == PmicConversionPollLimit) {
      return PmicConversionFailed(Converter);
    }
  }
  const uint32_t high = PmicReadRegister(Device, Converter.High, Lock) & 0x03u;
  const uint32_t low = PmicReadRegister(Device, Converter.Low, Lock);
  return ((high << 8) | low) * Converter.Numerator / Converter.Denominator;
}

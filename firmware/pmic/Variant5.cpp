#include "pmic/Variant5.h"

#include "pmic/PendingStatus.h"
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"

namespace {

constexpr uint8_t Device = PmicDevice34;

// Registers of the device.
constexpr uint8_t Flag3Register = 0x00;    // bit 5
constexpr uint8_t Flag1Register = 0x01;    // bit 5
constexpr uint8_t PendingRegister = 0x02;  // conditions; write ones to acknowledge bits 0-4
constexpr uint8_t IdentityRegister = 0x03; // bits 7-6 and 3-0 identification, 5-4 revision
constexpr uint8_t VerifyRegister = 0x24;
constexpr uint8_t SelectorRegister = 0x36;    // bits 0-1 selector field, bit 3 selector armed
constexpr uint8_t Status3LowRegister = 0x48;  // bits 2-4
constexpr uint8_t Status3HighRegister = 0x49; // bit 7
constexpr uint8_t Flag4Register = 0x4C;       // bits 5-6
constexpr uint8_t AdcHighRegister = 0x78;     // reading bits 11-4
constexpr uint8_t AdcLowRegister = 0x79;      // reading bits 3-0 in the upper nibble
constexpr uint8_t AdcAltHighRegister = 0xA0;
constexpr uint8_t AdcAltLowRegister = 0xA1;
constexpr uint8_t SelectorMirrorRegister = 0x8F; // bit 3 mirrors the selector's bit 3
constexpr uint8_t LevelRegister = 0xB9;          // bit 7 valid, bits 0-6 level

constexpr uint8_t IdentityMask = 0xCF;
constexpr uint8_t IdentityCode = 0x41;
constexpr uint8_t FlagBit5 = 0x20;
constexpr uint8_t SelectorField = 0x03;
constexpr uint8_t SelectorArmed = 0x08;
constexpr uint8_t LevelValid = 0x80;
constexpr uint8_t LevelMask = 0x7F;
constexpr uint8_t LevelNotValid = 0xFF;

// ReadVoltage scales the 12-bit reading by 11/10.
constexpr uint32_t VoltageNumerator = 11;
constexpr uint32_t VoltageDenominator = 10;

// InitStep6 writes a value and checks it back; bit 7 of the read-back is not compared.
constexpr uint8_t VerifyValue = 0x2C;
constexpr uint8_t VerifyCompareMask = 0x7F;
constexpr uint32_t VerifyAttempts = 21;

// clang-format off
// Sets bit 2 of 0x8F. InitStep1 and InitStep3 each apply their own copy.
constexpr PmicRegisterUpdate InitStep1Table[] = {
  // Register  Operation     Mask  Value
  {0x8F,       UpdateMasked, 0x04, 0x04},
};
constexpr PmicRegisterUpdate InitStep3Table[] = {
  {0x8F,       UpdateMasked, 0x04, 0x04},
};
constexpr PmicRegisterUpdate InitStep2Table[] = {
  {0x92,       UpdateMasked, 0x07, 0x03},
};
// Two steps each for 0x37 and 0x13: every step sees what the one before wrote.
constexpr PmicRegisterUpdate InitStep5Table[] = {
  {0x37,       UpdateMasked, 0x07, 0x01},
  {0x37,       UpdateMasked, 0x07, 0x00},
  {0x28,       UpdateMasked, 0x1F, 0x16},
  {0x1A,       UpdateMasked, 0x1F, 0x16},
  {0x17,       UpdateMasked, 0xFF, 0x1A},
  {0x13,       UpdateOr,     0x20, 0x20},
  {0x29,       UpdateMasked, 0x1F, 0x1F},
  {0x13,       UpdateMasked, 0x40, 0x40},
  {0x1B,       UpdateMasked, 0xFF, 0x16},
  {0x12,       UpdateMasked, 0xFF, 0x2C},
};

// InitStep2's read-modify-writes, each as two transfers: bits kept, bits set. The first two
// registers are read back once more after their writes.
struct RegisterModify {
  uint8_t Register;
  uint8_t Keep;
  uint8_t Set;
};
constexpr RegisterModify InitStep2Modifies[] = {
  // Register  Keep  Set
  {0x2A,       0xFA, 0x1A},
  {0x13,       0xFF, 0x40},
  {0x28,       0xF5, 0x15},
  {0x1A,       0xEB, 0x0B},
  {0x18,       0xFA, 0x1A},
  {0x12,       0xFF, 0x40},
  {0x16,       0xF6, 0x16},
  {0x12,       0xFF, 0x10},
};
constexpr uint32_t InitStep2ReadBackAfter = 2;
// clang-format on

template <uint32_t N> EFI_STATUS Apply(const PmicRegisterUpdate (&Table)[N]) {
  return ApplyRegisterUpdates(Device, PmicBusLock::PerAccess, Table);
}

uint8_t Read(uint8_t Register) {
  return Variant5ReadRegister(Register);
}
void Write(uint8_t Register, uint8_t Value) {
  Variant5WriteRegister(Register, Value);
}

// Read-modify-write as two calls: the semaphore is released between the read and the write.
// Every caller keeps bits of the old value, so nothing is written after a failed read.
void Modify(uint8_t Register, uint8_t Keep, uint8_t Set) {
  PmicModifyRegister(Device, Register, PmicBusLock::PerAccess, Keep, Set);
}

BOOLEAN Bit(uint8_t Value, uint8_t Mask) {
  return (Value & Mask) != 0 ? TRUE : FALSE;
}

uint32_t AdcReading(uint8_t HighRegister, uint8_t LowRegister) {
  const uint8_t low = Read(LowRegister);
  const uint8_t high = Read(HighRegister);
  return (static_cast<uint32_t>(high) << 4) | (low >> 4);
}

BOOLEAN Detect() {
  return (Read(IdentityRegister) & IdentityMask) == IdentityCode ? TRUE : FALSE;
}

EFI_STATUS GetIdentity(uint8_t* Id, uint8_t* Revision) {
  *Id = Read(IdentityRegister) & IdentityMask;
  *Revision = (Read(IdentityRegister) >> 4) & 0x03;
  return EFI_SUCCESS;
}

EFI_STATUS InitStep1() {
  return Apply(InitStep1Table);
}
EFI_STATUS InitStep3() {
  return Apply(InitStep3Table);
}
EFI_STATUS InitStep5() {
  return Apply(InitStep5Table);
}

EFI_STATUS InitStep2() {
  Apply(InitStep2Table);
  for (uint32_t row = 0; row < sizeof(InitStep2Modifies) / sizeof(InitStep2Modifies[0]); ++row) {
    const RegisterModify& modify = InitStep2Modifies[row];
    if (row == InitStep2ReadBackAfter) {
      // Read back only for their effect on the bus; the values are not used.
      for (uint32_t earlier = 0; earlier < InitStep2ReadBackAfter; ++earlier) {
        Read(InitStep2Modifies[earlier].Register);
      }
    }
    Modify(modify.Register, modify.Keep, modify.Set);
  }
  return EFI_SUCCESS;
}

EFI_STATUS GetStatus1(uint32_t* Status) {
  return GetPendingStatus(Variant5ReadRegister, PendingRegister, PendingStatus1Bits, Status);
}

EFI_STATUS GetStatus2(uint32_t* Status) {
  return GetPendingStatus(Variant5ReadRegister, PendingRegister, PendingStatus2Bits, Status);
}

EFI_STATUS GetStatus3(uint32_t* Status) {
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  const uint8_t low = Read(Status3LowRegister);
  const uint8_t high = Read(Status3HighRegister);
  *Status = ((low & 0x1C) != 0 ? 0x01u : 0u) | ((high & 0x80) != 0 ? 0x04u : 0u);
  return EFI_SUCCESS;
}

BOOLEAN GetFlag1() {
  return Bit(Read(Flag1Register), FlagBit5);
}
BOOLEAN GetFlag3() {
  return Bit(Read(Flag3Register), FlagBit5);
}

// Writing ones acknowledges GetStatus1's conditions (bits 0-2); bits 5-7 stay pending.
EFI_STATUS ClearStatus1() {
  Modify(PendingRegister, 0x1F, 0);
  return EFI_SUCCESS;
}

// This variant has nothing to acknowledge for GetStatus2.
EFI_STATUS ClearStatus2() {
  return EFI_SUCCESS;
}

uint32_t ReadVoltage() {
  uint32_t reading = AdcReading(AdcHighRegister, AdcLowRegister);
  if (reading == 0) {
    reading = AdcReading(AdcAltHighRegister, AdcAltLowRegister);
  }
  return reading * VoltageNumerator / VoltageDenominator;
}

BOOLEAN GetFlag4() {
  // Both registers are read whatever the first one says.
  const uint8_t mode = Read(Flag4Register) & 0x60;
  const uint8_t pending = Read(PendingRegister);
  if (mode == 0x20) {
    return TRUE;
  }
  return mode == 0x00 ? Bit(pending, 0x01) : FALSE;
}

EFI_STATUS GetSelector(uint8_t* Selector) {
  uint8_t value = 0;
  const bool read = Variant5ReadRegisterChecked(SelectorRegister, &value);
  *Selector = value & SelectorField;
  if (read) {
    Write(SelectorRegister, value & static_cast<uint8_t>(~SelectorArmed));
  }
  Modify(SelectorMirrorRegister, static_cast<uint8_t>(~SelectorArmed), 0);
  return EFI_SUCCESS;
}

EFI_STATUS SetSelector(uint8_t Selector) {
  Modify(SelectorRegister, static_cast<uint8_t>(~SelectorField), Selector & SelectorField);
  Modify(SelectorRegister, 0xFF, SelectorArmed);
  Modify(SelectorMirrorRegister, 0xFF, SelectorArmed);
  return EFI_SUCCESS;
}

uint8_t GetLevel() {
  const uint8_t value = Read(LevelRegister);
  if (value == PmicFailedRead || (value & LevelValid) == 0) {
    return LevelNotValid;
  }
  return value & LevelMask;
}

EFI_STATUS InitStep6() {
  return PmicWriteVerified(Device, PmicBusLock::PerAccess, VerifyRegister, VerifyValue,
                           VerifyCompareMask, VerifyAttempts)
             ? EFI_SUCCESS
             : EFI_TIMEOUT;
}

} // namespace

uint8_t Variant5ReadRegister(uint8_t Register) {
  return PmicReadRegister(Device, Register, PmicBusLock::PerAccess);
}

bool Variant5ReadRegisterChecked(uint8_t Register, uint8_t* Value) {
  return PmicReadRegisterChecked(Device, Register, PmicBusLock::PerAccess, Value);
}

// The transfer's status is not passed on: this variant's writes always report success.
EFI_STATUS Variant5WriteRegister(uint8_t Register, uint8_t Value) {
  PmicWriteRegister(Device, Register, Value, PmicBusLock::PerAccess);
  return EFI_SUCCESS;
}

const PmicDescriptor PmicVariant5 = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = Device,
    .I2cAddress = Device,
    .Reserved = 0,
    .VariantId = PmicVariantId5,
    .ReadRegister = Variant5ReadRegister,
    .WriteRegister = Variant5WriteRegister,
    .ReadAuxRegister = nullptr,
    .WriteAuxRegister = nullptr,
    .Detect = Detect,
    .GetIdentity = GetIdentity,
    .InitStep1 = InitStep1,
    .InitStep2 = InitStep2,
    .InitStep3 = InitStep3,
    .InitStep4 = nullptr,
    .InitStep5 = InitStep5,
    .GetStatus1 = GetStatus1,
    .GetStatus2 = GetStatus2,
    .GetStatus3 = GetStatus3,
    .GetFlag1 = GetFlag1,
    .GetFlag2 = nullptr,
    .GetFlag3 = GetFlag3,
    .ClearStatus2 = ClearStatus2,
    .ClearStatus1 = ClearStatus1,
    .ReadVoltage = ReadVoltage,
    .GetFlag4 = GetFlag4,
    .GetSelector = GetSelector,
    .SetSelector = SetSelector,
    .GetLevel = GetLevel,
    .InitStep6 = InitStep6,
};

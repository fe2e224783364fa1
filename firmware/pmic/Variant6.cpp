// The PMIC at 0x5E on the bus shared with the P-Unit: every transfer holds the bus semaphore,
// and writes always report success.
#include "pmic/PendingStatus.h"
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"

namespace {

constexpr uint8_t Device = PmicDevice5E;

// Registers of the device.
constexpr uint8_t IdentityRegister = 0x00; // bits 7-6 identification, bits 5-3 revision
constexpr uint8_t FlagRegister = 0x03;     // bit 0 GetFlag4 (inverted), bits 4-5 GetStatus3,
                                           // bit 5 GetFlag3
constexpr uint8_t PendingRegister = 0x12;  // conditions; write ones to acknowledge
constexpr uint8_t VerifyRegister = 0x27;
constexpr uint8_t AdcControlRegister = 0x50; // 0xA1 starts a conversion; bit 0 busy

// Detect: both identification bits set and a revision of 0 or 1; bits 2-0 do not matter.
constexpr uint8_t DetectMask = 0xF8;
constexpr uint8_t DetectRevision0 = 0xC0;
constexpr uint8_t DetectRevision1 = 0xC8;

constexpr uint8_t AcknowledgeStatus1 = 0x1F; // bits 0-4, GetStatus1's conditions
constexpr uint8_t AcknowledgeStatus2 = 0xE0; // bits 5-7, GetStatus2's conditions
constexpr uint8_t AdcStart = 0xA1;
constexpr uint8_t AdcBusy = 0x01;

// ReadVoltage scales the 10-bit reading (bits 9-8 in bits 1-0 of 0x54, bits 7-0 in 0x55) by
// 4.687.
constexpr PmicConverter Variant6Converter = {.Control = AdcControlRegister,
                                             .BusyMask = AdcBusy,
                                             .High = 0x54,
                                             .Low = 0x55,
                                             .Numerator = 4687,
                                             .Denominator = 1000};

// InitStep6 writes a value and checks it back; bit 7 of the read-back is not compared.
constexpr uint8_t VerifyValue = 0x59;
constexpr uint8_t VerifyCompareMask = 0x7F;
constexpr uint32_t VerifyAttempts = 21;

// clang-format off
constexpr PmicRegisterUpdate Variant6Step3Table[] = {
  // Register  Operation     Mask  Value
  {0x02,       UpdateMasked, 0xFF, 0xC0},
};
constexpr PmicRegisterUpdate Variant6Step5Table[] = {
  // Register  Operation     Mask  Value
  {0x10,       UpdateMasked, 0x0C, 0x0C},
  {0x2B,       UpdateMasked, 0xFF, 0x0A},
  {0x4E,       UpdateMasked, 0xFF, 0x1D},
  {0x4C,       UpdateMasked, 0xFF, 0x1D},
  {0x48,       UpdateMasked, 0xFF, 0x1D},
  {0x47,       UpdateMasked, 0xFF, 0x1D},
  {0x49,       UpdateMasked, 0xFF, 0x2F},
  {0x4A,       UpdateMasked, 0xFF, 0x59},
  {0x4B,       UpdateMasked, 0xFF, 0x59},
  {0x4D,       UpdateMasked, 0xFF, 0x1D},
  {0x45,       UpdateMasked, 0xFF, 0x0D},
};
// clang-format on

uint8_t ReadRegister(uint8_t Register) {
  return PmicReadRegister(Device, Register, PmicBusLock::PerAccess);
}
// The transfer's status is not passed on: this variant's writes always report success.
EFI_STATUS WriteRegister(uint8_t Register, uint8_t Value) {
  PmicWriteRegister(Device, Register, Value, PmicBusLock::PerAccess);
  return EFI_SUCCESS;
}

BOOLEAN Bit(uint8_t Value, uint8_t Mask) {
  return (Value & Mask) != 0 ? TRUE : FALSE;
}

BOOLEAN Detect() {
  const uint8_t id = ReadRegister(IdentityRegister) & DetectMask;
  return id == DetectRevision0 || id == DetectRevision1 ? TRUE : FALSE;
}

// One read serves both outputs.
EFI_STATUS GetIdentity(uint8_t* Id, uint8_t* Revision) {
  const uint8_t value = ReadRegister(IdentityRegister);
  *Id = value >> 6;
  *Revision = (value >> 3) & 0x07;
  return EFI_SUCCESS;
}

EFI_STATUS InitStep3() {
  return ApplyRegisterUpdates(Device, PmicBusLock::PerAccess, Variant6Step3Table);
}
EFI_STATUS InitStep5() {
  return ApplyRegisterUpdates(Device, PmicBusLock::PerAccess, Variant6Step5Table);
}

EFI_STATUS GetStatus1(uint32_t* Status) {
  return GetPendingStatus(ReadRegister, PendingRegister, PendingStatus1Bits, Status);
}

EFI_STATUS GetStatus2(uint32_t* Status) {
  return GetPendingStatus(ReadRegister, PendingRegister, PendingStatus2Bits, Status);
}

EFI_STATUS GetStatus3(uint32_t* Status) {
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  const uint8_t value = ReadRegister(FlagRegister);
  *Status = ((value & 0x10) != 0 ? 0x04u : 0u) | ((value & 0x20) != 0 ? 0x01u : 0u);
  return EFI_SUCCESS;
}

BOOLEAN GetFlag3() {
  return Bit(ReadRegister(FlagRegister), 0x20);
}
BOOLEAN GetFlag4() {
  return Bit(ReadRegister(FlagRegister), 0x01) == TRUE ? FALSE : TRUE;
}

// Plain writes of ones, with no read before: each acknowledges its own group of conditions.
EFI_STATUS ClearStatus1() {
  WriteRegister(PendingRegister, AcknowledgeStatus1);
  return EFI_SUCCESS;
}
EFI_STATUS ClearStatus2() {
  WriteRegister(PendingRegister, AcknowledgeStatus2);
  return EFI_SUCCESS;
}

uint32_t ReadVoltage() {
  WriteRegister(AdcControlRegister, AdcStart);
  return PmicReadConversion(Device, PmicBusLock::PerAccess, Variant6Converter);
}

EFI_STATUS InitStep6() {
  return PmicWriteVerified(Device, PmicBusLock::PerAccess, VerifyRegister, VerifyValue,
                           VerifyCompareMask, VerifyAttempts)
             ? EFI_SUCCESS
             : EFI_TIMEOUT;
}

} // namespace

const PmicDescriptor PmicVariant6 = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = Device,
    .I2cAddress = Device,
    .Reserved = 0,
    .VariantId = PmicVariantId6,
    .ReadRegister = ReadRegister,
    .WriteRegister = WriteRegister,
    .ReadAuxRegister = nullptr,
    .WriteAuxRegister = nullptr,
    .Detect = Detect,
    .GetIdentity = GetIdentity,
    .InitStep1 = nullptr,
    .InitStep2 = nullptr,
    .InitStep3 = InitStep3,
    .InitStep4 = nullptr,
    .InitStep5 = InitStep5,
    .GetStatus1 = GetStatus1,
    .GetStatus2 = GetStatus2,
    .GetStatus3 = GetStatus3,
    .GetFlag1 = nullptr,
    .GetFlag2 = nullptr,
    .GetFlag3 = GetFlag3,
    .ClearStatus2 = ClearStatus2,
    .ClearStatus1 = ClearStatus1,
    .ReadVoltage = ReadVoltage,
    .GetFlag4 = GetFlag4,
    .GetSelector = nullptr,
    .SetSelector = nullptr,
    .GetLevel = nullptr,
    .InitStep6 = InitStep6,
};

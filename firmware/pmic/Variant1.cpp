// The module's default PMIC: a primary device at 0x6E with an auxiliary device at 0x5E. Its
// register routines never take the bus semaphore (only Detect does, around its one read) and
// pass the bus write's status on. Several operations branch on the identification code, which
// they read from the device themselves; InitStep1 alone asks whichever variant is active.
#include "i2c/PmicBusSemaphore.h"
#include "i2c/Sideband.h"
#include "platform/Delay.h"
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"
#include "pmic/Variant1Tables.h"

namespace {

constexpr uint8_t Primary = PmicDevice6E;
constexpr uint8_t Auxiliary = PmicDevice5E;

// Registers of the primary device.
constexpr uint8_t IdentityRegister = 0x00;
constexpr uint8_t RevisionRegister = 0x01;
constexpr uint8_t Status3Register = 0x03;     // bits 0-2
constexpr uint8_t FlagRegister = 0x1E;        // bit 2 GetFlag1, bit 1 GetFlag2, bit 0 GetFlag3
constexpr uint8_t Status2LowRegister = 0x20;  // bits 1-6; write ones to acknowledge
constexpr uint8_t Status2HighRegister = 0x21; // bits 0-2; write ones to acknowledge
constexpr uint8_t Status1Register = 0x22;     // bits 0-3; write ones to acknowledge
constexpr uint8_t Step5LateRegister = 0x23;   // the step 5 table leaves 0xCB
constexpr uint8_t SelectorRegister = 0x26;    // bits 0-3 selector
constexpr uint8_t Flag4Register = 0x27;       // bit 5 clear: GetFlag4 answers 1
constexpr uint8_t VerifyRegister = 0x5F;
constexpr uint8_t AdcControlRegister = 0x72; // bit 0: start, and busy while converting
constexpr uint8_t Step6Register = 0xF5;

// Registers of the auxiliary device.
constexpr uint8_t AuxConfigRegister = 0xDC;   // where identifications other than 0x2B take it
constexpr uint8_t AuxConfigRegister2B = 0xE0; // where identification 0x2B takes it
constexpr uint8_t AuxLateRevisionRegister = 0xF9;
constexpr uint8_t AuxStep6Register = 0xFC;

// Identification codes the variant knows.
constexpr uint8_t Identity00 = 0x00;
constexpr uint8_t Identity1F = 0x1F;
constexpr uint8_t Identity2B = 0x2B;
// Devices of identification 0x1F from this revision on take the 0xF9 sequence.
constexpr uint8_t FirstLateRevision = 0xB1;

constexpr uint8_t AdcBusy = 0x01;
constexpr uint8_t Step5LateValue = 0xC7;
constexpr uint8_t AuxConfigValue = 0x0C;
constexpr uint8_t Step6Value = 0x50;
constexpr uint8_t VerifyValue = 0x80;
constexpr uint32_t VerifyAttempts = 21;
constexpr uint8_t SelectorField = 0x0F;
constexpr uint8_t ClearAll = 0xFF;

// ReadVoltage scales the 10-bit reading (bits 9-8 in bits 1-0 of 0x80, bits 7-0 in 0x81) to
// 0-5000.
constexpr PmicConverter Variant1Converter = {.Control = AdcControlRegister,
                                             .BusyMask = AdcBusy,
                                             .High = 0x80,
                                             .Low = 0x81,
                                             .Numerator = 5000,
                                             .Denominator = 1023};

// P-Unit register 6: InitStep5 sets bits 26 and 27 over the sideband, without the semaphore.
constexpr uint8_t PunitRegister6 = 6;
constexpr uint32_t PunitRegister6Bits = 0x0C000000;

constexpr uint32_t SequenceWriteDelayUs = 50;
constexpr uint32_t LateRevisionDelayUs = 100;

uint8_t ReadRegister(uint8_t Register) {
  return PmicReadRegister(Primary, Register, PmicBusLock::None);
}
EFI_STATUS WriteRegister(uint8_t Register, uint8_t Value) {
  return PmicWriteRegister(Primary, Register, Value, PmicBusLock::None);
}
uint8_t ReadAuxRegister(uint8_t Register) {
  return PmicReadRegister(Auxiliary, Register, PmicBusLock::None);
}
EFI_STATUS WriteAuxRegister(uint8_t Register, uint8_t Value) {
  return PmicWriteRegister(Auxiliary, Register, Value, PmicBusLock::None);
}

// Out of line: five steps apply a table, and each call then passes only the table and its size.
__attribute__((noinline)) EFI_STATUS ApplyTable(const PmicRegisterUpdate* Table, uint32_t Count) {
  return ApplyRegisterUpdates(Primary, PmicBusLock::None, Table, Count);
}
template <uint32_t N> EFI_STATUS Apply(const PmicRegisterUpdate (&Table)[N]) {
  return ApplyTable(Table, N);
}

BOOLEAN Bit(uint8_t Value, uint8_t Mask) {
  return (Value & Mask) != 0 ? TRUE : FALSE;
}

bool Is00Or2B(uint8_t Id) {
  return Id == Identity00 || Id == Identity2B;
}

// The one operation of this variant that holds the bus semaphore.
BOOLEAN Detect() {
  const uint8_t id = PmicReadRegister(Primary, IdentityRegister, PmicBusLock::PerAccess);
  return Is00Or2B(id) || id == Identity1F ? TRUE : FALSE;
}

EFI_STATUS GetIdentity(uint8_t* Id, uint8_t* Revision) {
  *Id = ReadRegister(IdentityRegister);
  *Revision = ReadRegister(RevisionRegister);
  return EFI_SUCCESS;
}

// The identification code, from both registers as GetIdentity reads them.
uint8_t IdentityCode() {
  uint8_t id = 0;
  uint8_t revision = 0;
  GetIdentity(&id, &revision);
  return id;
}

// The identification comes from whichever variant is active, through its own GetIdentity. The
// slot test, the test of the descriptor pointer and the call each take a selection of their own:
// nothing is cached, so each of the three is a full GetActivePmic. Without a GetIdentity (the
// fallback is active) the code stays 0, which takes the 13-row table.
EFI_STATUS InitStep1() {
  uint8_t id = 0;
  uint8_t revision = 0;
  if (GetActivePmic()->GetIdentity != nullptr && GetActivePmic() != nullptr) {
    // The call's own selection may differ from the two before it (a PMIC that stopped answering
    // in between leaves the fallback): a null slot there is the same case as in the slot test,
    // never a call through null.
    const PmicDescriptor* const active = GetActivePmic();
    if (active->GetIdentity != nullptr) {
      active->GetIdentity(&id, &revision);
    }
  }
  if (Is00Or2B(id)) {
    return Apply(Variant1Step1Table);
  }
  if (id == Identity1F) {
    return Apply(Variant1Step1Table1F);
  }
  return EFI_SUCCESS;
}

// Reads Register for a read-modify-write: false when the read failed, and then nothing built
// from it is written back (its bits were never read).
bool ReadForUpdate(uint8_t Register, uint8_t* Value) {
  return PmicReadRegisterChecked(Primary, Register, PmicBusLock::None, Value);
}

// Low bits from Value, the others as read; nothing written when the read failed.
void UpdateLowBits(uint8_t Register, uint8_t Bits, uint8_t Value) {
  PmicModifyRegister(Primary, Register, PmicBusLock::None, static_cast<uint8_t>(~Bits),
                     Value & Bits);
}

// Each pin's two control registers take the record's values in their low bits and keep their
// high bits as read.
EFI_STATUS InitStep2() {
  for (const PmicGpioPin& pin : Variant1GpioPins) {
    UpdateLowBits(pin.ControlRegister1, 0x7F, pin.ControlValue1);
    UpdateLowBits(pin.ControlRegister2, 0x1F, pin.ControlValue2);
  }
  return EFI_SUCCESS;
}

EFI_STATUS InitStep3() {
  return Apply(Variant1Step3Table);
}
EFI_STATUS InitStep4() {
  return Apply(Variant1Step4Table);
}

// The auxiliary device's configuration register, read back once for its effect on the device;
// late revisions of identification 0x1F also take a fixed sequence and a settling time. The
// identification and revision are read as GetIdentity reads them and decoded as read: a failed
// read gives 0xFF, which names register 0xDC like any code but 0x2B and counts as a late
// revision. Nothing written here is built from them: the values are constants.
EFI_STATUS ConfigureAuxiliaryDevice() {
  uint8_t id = 0;
  uint8_t revision = 0;
  GetIdentity(&id, &revision);
  const uint8_t config = id == Identity2B ? AuxConfigRegister2B : AuxConfigRegister;
  WriteAuxRegister(config, AuxConfigValue);
  ReadAuxRegister(config);
  if (id == Identity1F && revision >= FirstLateRevision) {
    for (const uint8_t byte : Variant1AuxSequenceF9) {
      WriteAuxRegister(AuxLateRevisionRegister, byte);
    }
    DelayMicroseconds(LateRevisionDelayUs);
  }
  return EFI_SUCCESS;
}

EFI_STATUS InitStep5() {
  Apply(Variant1Step5Table);
  // Follows the table, which left 0xCB there: these devices end with 0xC7.
  if (Is00Or2B(IdentityCode())) {
    WriteRegister(Step5LateRegister, Step5LateValue);
  }
  ConfigureAuxiliaryDevice();
  SidebandUpdate(SidebandPortPunit, PunitRegister6, 0, PunitRegister6Bits);
  // Read once more, the value unused, so that the write has reached the P-Unit before the step
  // returns.
  SidebandRead(SidebandPortPunit, PunitRegister6);
  return EFI_SUCCESS;
}

// Only for identification 0x1F, and only while this variant is the active one. Running out of
// attempts is not reported.
EFI_STATUS InitStep6() {
  if (GetActivePmic()->VariantId != PmicVariantId1) {
    return EFI_UNSUPPORTED;
  }
  if (IdentityCode() != Identity1F) {
    return EFI_SUCCESS;
  }
  for (const uint8_t byte : Variant1AuxSequenceFC) {
    WriteAuxRegister(AuxStep6Register, byte);
    DelayMicroseconds(SequenceWriteDelayUs);
  }
  WriteRegister(Step6Register, Step6Value);
  DelayMicroseconds(SequenceWriteDelayUs);
  PmicWriteVerified(Primary, PmicBusLock::None, VerifyRegister, VerifyValue, ClearAll,
                    VerifyAttempts);
  return EFI_SUCCESS;
}

// The register is read before the pointer is tested.
EFI_STATUS GetStatus1(uint32_t* Status) {
  const uint8_t pending = ReadRegister(Status1Register);
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  *Status = pending & 0x0Fu;
  return EFI_SUCCESS;
}

// Register 0x20 bits 1-6 become status bits 9-14, register 0x21 bits 0-2 status bits 0-2.
EFI_STATUS GetStatus2(uint32_t* Status) {
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  const uint8_t low = ReadRegister(Status2LowRegister);
  const uint8_t high = ReadRegister(Status2HighRegister);
  *Status = (static_cast<uint32_t>(low & 0x7E) << 8) | (high & 0x07u);
  return EFI_SUCCESS;
}

// The register is read before the pointer is tested.
EFI_STATUS GetStatus3(uint32_t* Status) {
  const uint8_t pending = ReadRegister(Status3Register);
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  *Status = pending & 0x07u;
  return EFI_SUCCESS;
}

BOOLEAN GetFlag1() {
  return Bit(ReadRegister(FlagRegister), 0x04);
}
BOOLEAN GetFlag2() {
  return Bit(ReadRegister(FlagRegister), 0x02);
}
BOOLEAN GetFlag3() {
  return Bit(ReadRegister(FlagRegister), 0x01);
}
BOOLEAN GetFlag4() {
  return Bit(ReadRegister(Flag4Register), 0x20) == TRUE ? FALSE : TRUE;
}

EFI_STATUS ClearStatus2() {
  WriteRegister(Status2LowRegister, ClearAll);
  WriteRegister(Status2HighRegister, ClearAll);
  return EFI_SUCCESS;
}
EFI_STATUS ClearStatus1() {
  WriteRegister(Status1Register, ClearAll);
  return EFI_SUCCESS;
}

// The start is a read-modify-write of the control register; a control register that could not be
// read is not written (its other bits were never read). The status of the start is not looked at:
// the wait and the reading go on either way.
uint32_t ReadVoltage() {
  PmicModifyRegister(Primary, AdcControlRegister, PmicBusLock::None, 0xFF, AdcBusy);
  return PmicReadConversion(Primary, PmicBusLock::None, Variant1Converter);
}

// The selector nibble is handed out and cleared in the register. The register's other bits are
// written back as read, so after a failed read nothing is written and the failure is reported.
EFI_STATUS GetSelector(uint8_t* Selector) {
  uint8_t value = 0;
  const bool read = ReadForUpdate(SelectorRegister, &value);
  *Selector = value & SelectorField;
  if (!read) {
    return EFI_DEVICE_ERROR;
  }
  return WriteRegister(SelectorRegister, value & static_cast<uint8_t>(~SelectorField));
}

EFI_STATUS SetSelector(uint8_t Selector) {
  return PmicModifyRegister(Primary, SelectorRegister, PmicBusLock::None,
                            static_cast<uint8_t>(~SelectorField), Selector & SelectorField);
}

} // namespace

const PmicDescriptor PmicVariant1 = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = Auxiliary,
    .I2cAddress = Primary,
    .Reserved = 0,
    .VariantId = PmicVariantId1,
    .ReadRegister = ReadRegister,
    .WriteRegister = WriteRegister,
    .ReadAuxRegister = ReadAuxRegister,
    .WriteAuxRegister = WriteAuxRegister,
    .Detect = Detect,
    .GetIdentity = GetIdentity,
    .InitStep1 = InitStep1,
    .InitStep2 = InitStep2,
    .InitStep3 = InitStep3,
    .InitStep4 = InitStep4,
    .InitStep5 = InitStep5,
    .GetStatus1 = GetStatus1,
    .GetStatus2 = GetStatus2,
    .GetStatus3 = GetStatus3,
    .GetFlag1 = GetFlag1,
    .GetFlag2 = GetFlag2,
    .GetFlag3 = GetFlag3,
    .ClearStatus2 = ClearStatus2,
    .ClearStatus1 = ClearStatus1,
    .ReadVoltage = ReadVoltage,
    .GetFlag4 = GetFlag4,
    .GetSelector = GetSelector,
    .SetSelector = SetSelector,
    .GetLevel = nullptr,
    .InitStep6 = InitStep6,
};

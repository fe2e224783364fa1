#include "entry/ModuleEntry.h"
#include "gpio/PadEngine.h"
#include "platform/Delay.h"
#include "platform/RegisterAccess.h"
#include "pmic/PmicDescriptor.h"
#include "pmic/Variant5.h"

namespace {
constexpr uint32_t PadLevel = 0x1;

// Value registers (bit 0 is the level) of the pads this step reads or drives.
constexpr uint32_t Pad93Input = PadRegisterBase(GpioCommunity0000, 93) + PadValueRegister;
constexpr uint32_t Pad22Community2000 = PadRegisterBase(GpioCommunity2000, 22) + PadValueRegister;
constexpr uint32_t Pad3Community1000 = PadRegisterBase(GpioCommunity1000, 3) + PadValueRegister;
constexpr uint32_t Pad1Community1000 = PadRegisterBase(GpioCommunity1000, 1) + PadValueRegister;
constexpr uint32_t Pad33Community2000 = PadRegisterBase(GpioCommunity2000, 33) + PadValueRegister;

// Bit 7 of the variant-5 PMIC's register 0x30 follows the level of pad 93, inverted.
constexpr uint8_t Variant5LevelRegister = 0x30;
constexpr uint8_t Variant5LevelBit = 0x80;

constexpr uint32_t SettleMicroseconds = 100000;

// Each drive is a read-modify-write of a value register, read once: the pad engine's re-reads are
// for the table pass only. A read of all ones is nothing answering, not a level: it is not
// written back with every other bit set, and the register is left as it is.
void SetLevelIfLow(uint32_t Address) {
  const uint32_t value = MmioRead32(Address);
  if ((value & PadLevel) == 0) {
    MmioWrite32(Address, value | PadLevel);
  }
}

void SetLevel(uint32_t Address) {
  if (const uint32_t value = MmioRead32(Address); value != PadNoAnswer) {
    MmioWrite32(Address, value | PadLevel);
  }
}

void ClearLevel(uint32_t Address) {
  if (const uint32_t value = MmioRead32(Address); value != PadNoAnswer) {
    MmioWrite32(Address, value & ~PadLevel);
  }
}

void ClearLevelIfHigh(uint32_t Address) {
  const uint32_t value = MmioRead32(Address);
  if ((value & PadLevel) != 0 && value != PadNoAnswer) {
    MmioWrite32(Address, value & ~PadLevel);
  }
}

// Works through the variant's own routines, not through the slots of the active descriptor:
// a descriptor handed over in a HOB may point anywhere. The register keeps its other bits, so a
// failed read leaves it unwritten (its bits were never read); the pads are driven all the same.
void AdjustVariant5Board() {
  uint8_t level = 0;
  const bool read = Variant5ReadRegisterChecked(Variant5LevelRegister, &level);
  if ((MmioRead32(Pad93Input) & PadLevel) != 0) {
    level &= static_cast<uint8_t>(~Variant5LevelBit);
  } else {
    SetLevelIfLow(Pad22Community2000);
    ClearLevelIfHigh(Pad3Community1000);
    level |= Variant5LevelBit;
  }
  if (read) {
    Variant5WriteRegister(Variant5LevelRegister, level);
  }
  SetLevel(Pad1Community1000);
}
} // namespace

void PostGpioSetup() {
  if (GetActivePmic()->VariantId == PmicVariantId5) {
    AdjustVariant5Board();
  }
  DelayMicroseconds(SettleMicroseconds);
  ClearLevel(Pad33Community2000);
}

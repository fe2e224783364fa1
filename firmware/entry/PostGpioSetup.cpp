#include "board/BoardTables.h"
#include "entry/ModuleEntry.h"
#include "gpio/PadEngine.h"
#include "platform/Delay.h"
#include "platform/RegisterAccess.h"
#include "pmic/PmicDescriptor.h"
#include "pmic/Variant5.h"

namespace {
constexpr uint32_t PadLevel = 0x1;

// Value registers (bit 0 is the level) of the pads this step reads or drives: which pads, the
// register and the delay are the board's (its description), the order of the step is the module's.
constexpr uint32_t ValueRegister(uint32_t Community, uint32_t Pad) {
  return PadRegisterBase(Community, Pad) + PadValueRegister;
}
constexpr uint32_t LevelInput = ValueRegister(BoardStepLevelCommunity, BoardStepLevelPad);
constexpr uint32_t WhenLowSet = ValueRegister(BoardStepWhenLowSetCommunity, BoardStepWhenLowSetPad);
constexpr uint32_t WhenLowClear =
    ValueRegister(BoardStepWhenLowClearCommunity, BoardStepWhenLowClearPad);
constexpr uint32_t SetAfterRegister =
    ValueRegister(BoardStepSetAfterRegisterCommunity, BoardStepSetAfterRegisterPad);
constexpr uint32_t ClearAfterSettle =
    ValueRegister(BoardStepClearAfterSettleCommunity, BoardStepClearAfterSettlePad);

// A bit of a variant-5 PMIC register follows the level of the level input, inverted.
constexpr uint8_t Variant5LevelRegister = BoardStepVariant5Register;
constexpr uint8_t Variant5LevelBit = BoardStepVariant5Bit;

constexpr uint32_t SettleMicroseconds = BoardStepSettleMicroseconds;

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
  if ((MmioRead32(LevelInput) & PadLevel) != 0) {
    level &= static_cast<uint8_t>(~Variant5LevelBit);
  } else {
    SetLevelIfLow(WhenLowSet);
    ClearLevelIfHigh(WhenLowClear);
    level |= Variant5LevelBit;
  }
  if (read) {
    Variant5WriteRegister(Variant5LevelRegister, level);
  }
  SetLevel(SetAfterRegister);
}
} // namespace

void PostGpioSetup() {
  if (GetActivePmic()->VariantId == PmicVariantId5) {
    AdjustVariant5Board();
  }
  DelayMicroseconds(SettleMicroseconds);
  ClearLevel(ClearAfterSettle);
}

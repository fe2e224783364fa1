#include "gpio/PadEngine.h"
#include "gpio/PadTables.h"
#include "platform/RegisterAccess.h"

namespace {
// The I/O-port GPIO banks, cleared within each bank as +0x00, +0x08, +0x04, then upward.
constexpr uint16_t LegacyGpioRegisters[] = {
    0x500, 0x508, 0x504, 0x50C, 0x510, 0x514,        //
    0x520, 0x528, 0x524,                             //
    0x540, 0x548, 0x544,                             //
    0x580, 0x588, 0x584, 0x58C, 0x590, 0x594, 0x598, //
};

// Whole-register pad configurations: mode in bits 0-2, pull pattern in bits 7-10.
constexpr uint32_t PadConfigMode1Pull0 = 0x2003CC81; // mode 1, pull pattern 0
constexpr uint32_t PadConfigMode3Pull1 = 0x2003ED03; // mode 3, pull pattern 1
constexpr uint32_t PadConfigMode3Pull0 = 0x2003EC83; // mode 3, pull pattern 0

// Pad 58 is written before its table row, which then adjusts it.
constexpr uint32_t Pad58Config = PadRegisterBase(GpioCommunity0000, 58) + PadConfigRegister;
// Pads set after the tables: their rows' configuration results are replaced.
constexpr uint32_t Pad62Config = PadRegisterBase(GpioCommunity0000, 62) + PadConfigRegister;
constexpr uint8_t LatePads[] = {57, 61, 64, 59, 54, 56, 60, 55, 63, 51};

// The board's pad tables, each with its community, in the order they are applied.
struct CommunityPadTable {
  const PadConfigEntry* Table;
  uint32_t Count;
  uint32_t Community;
};
constexpr CommunityPadTable BoardPadTables[] = {
    {PadTable1000, PadTable1000Count, GpioCommunity1000},
    {PadTable0000, PadTable0000Count, GpioCommunity0000},
    {PadTable2000, PadTable2000Count, GpioCommunity2000},
};

// Word +0xC of pad 25 of community 0x1000; bits 4 and 5 are set once, nothing else touches it.
constexpr uint32_t Pad25Community1000Word3 = PadRegisterBase(GpioCommunity1000, 25) + 0xC;
constexpr uint32_t Pad25Word3Bits = 0x30;
} // namespace

EFI_STATUS ClearLegacyGpioRegisters() {
  for (uint16_t port : LegacyGpioRegisters) {
    IoWrite32(port, 0);
  }
  return EFI_SUCCESS;
}

EFI_STATUS ConfigureSocGpio() {
  ClearLegacyGpioRegisters();
  MmioWrite32(Pad58Config, PadConfigMode1Pull0);
  // A read and a write, no re-reads: that rule is the table rows'. A word that reads all ones did
  // not answer, and is not written back with every bit set.
  if (const uint32_t word3 = MmioRead32(Pad25Community1000Word3); word3 != PadNoAnswer) {
    MmioWrite32(Pad25Community1000Word3, word3 | Pad25Word3Bits);
  }

  for (const CommunityPadTable& pads : BoardPadTables) {
    ProgramPadTable(pads.Count, pads.Table, pads.Community);
  }

  MmioWrite32(Pad62Config, PadConfigMode3Pull1);
  for (uint8_t pad : LatePads) {
    MmioWrite32(PadRegisterBase(GpioCommunity0000, pad) + PadConfigRegister, PadConfigMode3Pull0);
  }
  return EFI_SUCCESS;
}

#include "entry/ModuleEntry.h"
#include "board/BoardTables.h"
#include "gpio/PadEngine.h"
#include "platform/RegisterAccess.h"

namespace {
// ACPI I/O base register of the legacy bridge (00:1F.0). Its low byte is tested, the whole word
// written: 0x0402 places the block at port 0x400 and sets the decode bit the test looks at.
constexpr uint32_t AcpiBaseRegister = PciConfigAddress(0, 0x1F, 0, 0x40);
constexpr uint8_t AcpiDecodeBit = 0x02;
constexpr uint16_t AcpiBaseValue = 0x0402;
} // namespace

extern "C" EFI_STATUS ModuleEntry(const void* FileHandle, const void* const* PeiServices) {
  (void)FileHandle;
  (void)PeiServices;

  // The PM timer lives in the ACPI block, so no delay may run before this.
  if ((MmioRead8(AcpiBaseRegister) & AcpiDecodeBit) == 0) {
    MmioWrite16(AcpiBaseRegister, AcpiBaseValue);
  }
  // The early pads, from the board's description: their configuration registers are written whole
  // before the GPIO pass, and their community's table adjusts the same pads later.
  for (uint16_t offset : EarlyPadOffsets) {
    MmioWrite32(GpioPadBase + offset, EarlyPadConfig);
  }
  const EFI_STATUS status = ConfigureSocGpio();
  PostGpioSetup();
  return status;
}

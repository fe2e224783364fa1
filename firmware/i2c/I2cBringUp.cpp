#include "i2c/I2cController.h"
#include "i2c/I2cRegisters.h"
#include "i2c/MmioWrites.h"

using namespace I2cRegisters;

namespace {
// The power-management controller's window: its base is in the legacy bridge (00:1F.0) at 0x44,
// with flag bits below the 512-byte alignment.
constexpr uint32_t PmcBaseRegister = PciConfigAddress(0, 0x1F, 0, 0x44);
constexpr uint32_t PmcBaseMask = 0xFFFFFE00u;
constexpr uint32_t FunctionDisable = 0x34;
// Set, it keeps the PMIC bus controller switched off: its configuration space reads all ones.
constexpr uint32_t FunctionDisablePmicBusController = 1u << 29;

constexpr uint32_t NoDevice = 0xFFFFFFFFu;

constexpr uint8_t CommandMemorySpace = 1u << 1;
constexpr uint32_t CommandMemorySpaceAndBusMaster = 0x6;

// Values the controller wants in its private registers before use; 804 goes first.
constexpr uint32_t PrivateRegister804Value = 3;
constexpr uint32_t PrivateRegister800Value = 0x80020003u;

// clang-format off
// The controller's window in BAR0, the second BAR, then memory decoding and bus mastering.
constexpr MmioWriteRow DecodeSetup[] = {
  // Register        Value                                        Width
  {I2cConfigBar0,    PmicBusController.Bar0 & I2cBarAddressMask,  32},
  {I2cConfigBar1,    PmicBusController.Bar1 & I2cBarAddressMask,  32},
  {I2cConfigCommand, CommandMemorySpaceAndBusMaster,              32},
};
constexpr MmioWriteRow PrivateSetup[] = {
  {PrivateRegister804, PrivateRegister804Value,                   32},
  {PrivateRegister800, PrivateRegister800Value,                   32},
};
// clang-format on
} // namespace

EFI_STATUS I2cControllerBringUp() {
  // The function must be switched on before its configuration space can answer. The register is
  // tested on one read and cleared on a fresh one. A read of all ones is not a register's value
  // but nothing answering (a hidden bridge, no PMC window there): it has bit 29 set like any
  // other, so it leads to the fresh read, but no write is built on it, which would land at an
  // address derived from all ones, or put all ones back into the PMC's register.
  const uint32_t pmcBase = MmioRead32(PmcBaseRegister);
  if (pmcBase != NoDevice) {
    const uint32_t functionDisable = (pmcBase & PmcBaseMask) + FunctionDisable;
    if ((MmioRead32(functionDisable) & FunctionDisablePmicBusController) != 0) {
      const uint32_t current = MmioRead32(functionDisable);
      if (current != NoDevice) {
        MmioWrite32(functionDisable, current & ~FunctionDisablePmicBusController);
      }
    }
  }

  if (MmioRead32(I2cConfigIdentifier) == NoDevice) {
    return EFI_SUCCESS;
  }

  // A controller that already decodes memory keeps the BARs someone gave it.
  if ((MmioRead8(I2cConfigCommand) & CommandMemorySpace) == 0) {
    ApplyMmioWrites(DecodeSetup);
  }

  ApplyMmioWrites(PrivateSetup);
  return EFI_SUCCESS;
}

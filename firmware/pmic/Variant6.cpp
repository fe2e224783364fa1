// The PMIC at 0x5E on the bus shared with the P-Unit: every transfer holds the bus semaphore,
// and writes always report success.
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"

namespace {

uint8_t ReadRegister(uint8_t Register) {
  return PmicReadRegister(PmicDevice5E, Register, PmicBusLock::PerAccess);
}
EFI_STATUS WriteRegister(uint8_t Register, uint8_t Value) {
  PmicWriteRegister(PmicDevice5E, Register, Value, PmicBusLock::PerAccess);
  return EFI_SUCCESS;
}

} // namespace

// The variant's other operations are not built yet: their slots stay null.
const PmicDescriptor PmicVariant6 = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = PmicDevice5E,
    .I2cAddress = PmicDevice5E,
    .Reserved = 0,
    .VariantId = PmicVariantId6,
    .ReadRegister = ReadRegister,
    .WriteRegister = WriteRegister,
    .ReadAuxRegister = nullptr,
    .WriteAuxRegister = nullptr,
};

// The PMIC at 0x6E with its auxiliary device at 0x5E. Its register routines never take the bus
// semaphore and pass the bus write's status on.
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"

namespace {

uint8_t ReadRegister(uint8_t Register) {
  return PmicReadRegister(PmicDevice6E, Register, PmicBusLock::None);
}
EFI_STATUS WriteRegister(uint8_t Register, uint8_t Value) {
  return PmicWriteRegister(PmicDevice6E, Register, Value, PmicBusLock::None);
}
uint8_t ReadAuxRegister(uint8_t Register) {
  return PmicReadRegister(PmicDevice5E, Register, PmicBusLock::None);
}
EFI_STATUS WriteAuxRegister(uint8_t Register, uint8_t Value) {
  return PmicWriteRegister(PmicDevice5E, Register, Value, PmicBusLock::None);
}

} // namespace

// The variant's other operations are not built yet: their slots stay null, so selection passes
// over it until its Detect exists.
const PmicDescriptor PmicVariant1 = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = PmicDevice5E,
    .I2cAddress = PmicDevice6E,
    .Reserved = 0,
    .VariantId = PmicVariantId1,
    .ReadRegister = ReadRegister,
    .WriteRegister = WriteRegister,
    .ReadAuxRegister = ReadAuxRegister,
    .WriteAuxRegister = WriteAuxRegister,
};

// The fallback for a board on which no known PMIC answers: nothing touches the bus, reads give
// 0, writes succeed, and Detect always answers, so selection always ends here at the latest.
#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"

namespace {

uint8_t ReadRegister(uint8_t) {
  return 0;
}
EFI_STATUS WriteRegister(uint8_t, uint8_t) {
  return EFI_SUCCESS;
}
// Serves as Detect and as GetFlag2.
BOOLEAN AlwaysTrue() {
  return TRUE;
}

} // namespace

const PmicDescriptor PmicVariantNone = {
    .HeaderTag = PmicHeaderTag,
    .AuxI2cAddress = PmicDevice5E,
    .I2cAddress = PmicDevice5E,
    .Reserved = 0,
    .VariantId = PmicVariantIdNone,
    .ReadRegister = ReadRegister,
    .WriteRegister = WriteRegister,
    .Detect = AlwaysTrue,
    .GetFlag2 = AlwaysTrue,
};

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
    .ReadAuxRegister = nullptr,
    .WriteAuxRegister = nullptr,
    .Detect = AlwaysTrue,
    .GetIdentity = nullptr,
    .InitStep1 = nullptr,
    .InitStep2 = nullptr,
    .InitStep3 = nullptr,
    .InitStep4 = nullptr,
    .InitStep5 = nullptr,
    .GetStatus1 = nullptr,
    .GetStatus2 = nullptr,
    .GetStatus3 = nullptr,
    .GetFlag1 = nullptr,
    .GetFlag2 = AlwaysTrue,
    .GetFlag3 = nullptr,
    .ClearStatus2 = nullptr,
    .ClearStatus1 = nullptr,
    .ReadVoltage = nullptr,
    .GetFlag4 = nullptr,
    .GetSelector = nullptr,
    .SetSelector = nullptr,
    .GetLevel = nullptr,
    .InitStep6 = nullptr,
};

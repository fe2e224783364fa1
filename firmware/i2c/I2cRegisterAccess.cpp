#include "i2c/I2cController.h"

EFI_STATUS I2cReadRegister(uint8_t Address, uint8_t Register, uint8_t* Value) {
  // The index goes out with a restart and no stop; the read command brings its own restart.
  const EFI_STATUS status = I2cSendByte(Address, &Register, TRUE, FALSE);
  if (EFI_ERROR(status)) {
    return status;
  }
  return I2cReceiveByte(Address, Value);
}

EFI_STATUS I2cWriteRegister(uint8_t Address, uint8_t Register, const uint8_t* Value) {
  const EFI_STATUS status = I2cSendByte(Address, &Register, TRUE, FALSE);
  if (EFI_ERROR(status)) {
    return status;
  }
  return I2cSendByte(Address, Value, FALSE, TRUE);
}

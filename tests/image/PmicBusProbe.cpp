// Built into a probe image, and into the host tests, for the PMIC bus's differential test: a
// register read, a write of its value with the bits turned over to the next register, and a read
// back, optionally inside the bus semaphore. Returns the byte read back, or the failing status.
#include "i2c/I2cController.h"
#include "i2c/PmicBusSemaphore.h"

extern "C" uint32_t PmicBusProbe(uint32_t Address, uint32_t Register, uint32_t UseSemaphore) {
  const uint8_t address = static_cast<uint8_t>(Address);
  const uint8_t reg = static_cast<uint8_t>(Register);
  PmicBusHold hold = {};
  if (UseSemaphore) {
    AcquirePmicBus(hold);
  }
  uint8_t value = 0;
  EFI_STATUS status = I2cReadRegister(address, reg, &value);
  const uint8_t turned = static_cast<uint8_t>(~value);
  if (!EFI_ERROR(status)) {
    status = I2cWriteRegister(address, static_cast<uint8_t>(reg + 1), &turned);
  }
  uint8_t back = 0;
  if (!EFI_ERROR(status)) {
    status = I2cReadRegister(address, static_cast<uint8_t>(reg + 1), &back);
  }
  if (UseSemaphore) {
    ReleasePmicBus(hold);
  }
  return EFI_ERROR(status) ? status : back;
}

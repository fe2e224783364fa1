// The PMIC bus: the I2C host controller at 00:18.5 and single-byte transfers through it. The
// controller's state lives in the hardware alone; a BAR0 holding the controller's window is the
// sign that it is set up. Nothing here takes the bus semaphore: callers that share the bus with
// the P-Unit bracket their transfers with AcquirePmicBus and ReleasePmicBus.
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

// Register index, then one data byte, as one bus transaction with a repeated start. On a failure
// of the index phase the output byte is left as the caller set it.
EFI_STATUS I2cReadRegister(uint8_t Address, uint8_t Register, uint8_t* Value);
EFI_STATUS I2cWriteRegister(uint8_t Address, uint8_t Register, const uint8_t* Value);

// Queues one byte; returns once it is in the transmit FIFO, not once it has left.
EFI_STATUS I2cSendByte(uint8_t Address, const uint8_t* Byte, BOOLEAN Restart, BOOLEAN Stop);
// Issues one read command with stop and takes the byte it brings.
EFI_STATUS I2cReceiveByte(uint8_t Address, uint8_t* Byte);

// Points the controller at Address (7-bit, or 10-bit up to 1023), setting it up first if BAR0
// says it is not.
EFI_STATUS I2cSetTarget(uint16_t Address);

// Enable handshakes: EFI_NOT_READY when the controller never shows the new state.
EFI_STATUS I2cDisable();
EFI_STATUS I2cEnable();

// Switches the controller's function on and gives it its BARs; always EFI_SUCCESS.
EFI_STATUS I2cControllerBringUp();

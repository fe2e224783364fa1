// The PMIC at 0x34, on the bus shared with the P-Unit: every transfer holds the bus semaphore.
// Its register routines are also called directly by the entry's board step.
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

uint8_t Variant5ReadRegister(uint8_t Register);
// The same read, false when the transfer failed: for read-modify-writes, which do not write
// back bits they never read.
bool Variant5ReadRegisterChecked(uint8_t Register, uint8_t* Value);
EFI_STATUS Variant5WriteRegister(uint8_t Register, uint8_t Value);

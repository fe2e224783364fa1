// Programs the SoC's GPIO pads: the legacy I/O-port registers, a few fixed pads and the board's
// pad tables, one per community.
#pragma once

#include "gpio/PadConfigEntry.h"
#include "platform/Efi.h"

constexpr uint32_t GpioPadBase = 0xFED0C000u;
constexpr uint32_t GpioCommunity0000 = 0x0000;
constexpr uint32_t GpioCommunity1000 = 0x1000;
constexpr uint32_t GpioCommunity2000 = 0x2000;

// Pad n of a community owns 16 bytes: configuration register at +0, value register at +8.
constexpr uint32_t PadBytes = 16;
constexpr uint32_t PadConfigRegister = 0x0;
constexpr uint32_t PadValueRegister = 0x8;

constexpr uint32_t PadRegisterBase(uint32_t Community, uint32_t PadIndex) {
  return GpioPadBase + Community + PadBytes * PadIndex;
}

// A pad register that reads all ones has not answered: its value is not known, and nothing built
// on it is written back.
constexpr uint32_t PadNoAnswer = 0xFFFFFFFFu;

// Merges each row into its pad's value and configuration registers, in array order.
void ProgramPadTable(uint32_t Count, const PadConfigEntry* Table, uint32_t Community);

// Zeroes the nineteen I/O-port GPIO registers; always EFI_SUCCESS.
EFI_STATUS ClearLegacyGpioRegisters();

// The whole GPIO pass; always EFI_SUCCESS.
EFI_STATUS ConfigureSocGpio();

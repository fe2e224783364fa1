// Where the PMIC bus controller's registers are, for the files that set it up and move bytes.
// Offsets are from the controller's Bar0; the width each register is accessed at is the one the
// code beside it uses. The names are kept in their own namespace: short role names such as
// Status or Enable must not leak into every file that includes this one.
#pragma once

#include "i2c/I2cControllerTable.h"
#include "platform/RegisterAccess.h"

namespace I2cRegisters {

// The controller's PCI configuration header.
constexpr uint32_t I2cConfigSpace = PciConfigAddress(
    PmicBusController.Bus, PmicBusController.Device, PmicBusController.Function, 0);
constexpr uint32_t I2cConfigIdentifier = I2cConfigSpace + 0x00;
constexpr uint32_t I2cConfigCommand = I2cConfigSpace + 0x04;
constexpr uint32_t I2cConfigBar0 = I2cConfigSpace + 0x10;
constexpr uint32_t I2cConfigBar1 = I2cConfigSpace + 0x14;
// A BAR's address bits; the low 12 bits are flags and size bits.
constexpr uint32_t I2cBarAddressMask = 0xFFFFF000u;

constexpr uint32_t I2cRegister(uint32_t Offset) {
  return PmicBusController.Bar0 + Offset;
}

constexpr uint32_t Control = I2cRegister(0x00);
constexpr uint32_t TargetAddress = I2cRegister(0x04);
constexpr uint32_t DataCommand = I2cRegister(0x10);
constexpr uint32_t StandardSclHigh = I2cRegister(0x14);
constexpr uint32_t StandardSclLow = I2cRegister(0x18);
constexpr uint32_t FastSclHigh = I2cRegister(0x1C);
constexpr uint32_t FastSclLow = I2cRegister(0x20);
constexpr uint32_t InterruptMask = I2cRegister(0x30);
constexpr uint32_t RawInterruptStatus = I2cRegister(0x34);
constexpr uint32_t ReceiveThreshold = I2cRegister(0x38);
constexpr uint32_t TransmitThreshold = I2cRegister(0x3C);
constexpr uint32_t ClearTransmitAbort = I2cRegister(0x54);
constexpr uint32_t Enable = I2cRegister(0x6C);
constexpr uint32_t Status = I2cRegister(0x70);
constexpr uint32_t SdaHold = I2cRegister(0x7C);
constexpr uint32_t EnableStatus = I2cRegister(0x9C);
constexpr uint32_t PrivateRegister800 = I2cRegister(0x800);
constexpr uint32_t PrivateRegister804 = I2cRegister(0x804);

// Status bits.
constexpr uint32_t StatusTransmitNotFull = 1u << 1;
constexpr uint32_t StatusReceiveNotEmpty = 1u << 3;
constexpr uint32_t StatusActive = 1u << 5;

// RawInterruptStatus: the last transfer was aborted (missing acknowledge and the like).
constexpr uint16_t RawTransmitAbort = 1u << 6;

// DataCommand, written: data in bits 7:0 and these flags.
constexpr uint16_t CommandRead = 1u << 8;
constexpr uint16_t CommandStop = 1u << 9;
constexpr uint16_t CommandRestart = 1u << 10;

// Every handshake with the controller that polls I2cPollIntervalUs apart (activity, enable and
// disable, room for a read command) gives up after this many polls: about 100 ms.
constexpr uint32_t I2cPollLimit = 10000;
// The byte waits poll back to back, two register reads a pass, so their bound is a count that
// stands for a time: at 50 ns or more a register read, 200000 passes last at least 20 ms, over
// twenty byte times of a 10 kHz bus (900 us a byte), more than any transfer of the module queues.
// A healthy bus of 10 kHz or faster never reaches it; a stuck one is given up on.
constexpr uint32_t I2cBytePollLimit = 200000;
// Spacing of the handshake polls that are not back to back.
constexpr uint32_t I2cPollIntervalUs = 10;

} // namespace I2cRegisters

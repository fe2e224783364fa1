#include "i2c/I2cController.h"
#include "i2c/I2cRegisters.h"
#include "platform/Delay.h"

using namespace I2cRegisters;

namespace {
constexpr uint32_t ByteSettleUs = 2;
constexpr uint16_t ReadWithStopAndRestart = CommandRead | CommandStop | CommandRestart;

// The two byte waits end on progress or on an abort; a controller that makes neither would keep
// them going for ever, so each gives up and reports EFI_DEVICE_ERROR, the status both operations
// already use for a transfer that did not happen. The bounds count passes, not time: measuring
// time would put timer reads into every pass and change the accesses of a healthy transfer,
// which the bound must leave exactly as they are. What the counts mean in time is said where
// they are defined: the receive wait's passes before its command is queued are 10 us apart
// (I2cPollLimit, about 100 ms); the passes that wait for room or for the byte run back to back
// (I2cBytePollLimit, at least 20 ms). Each phase has a count of its own.
//
// Giving up leaves commands queued, and a byte may still arrive after the failure has been
// reported; the next read would take that byte as its own. Switching the controller off and on
// again empties both FIFOs, so a failed transfer never turns into a later read of wrong data.
EFI_STATUS AbandonTransfer() {
  I2cDisable();
  I2cEnable();
  return EFI_DEVICE_ERROR;
}

bool FoundAndClearedAbort() {
  if (MmioRead16(RawInterruptStatus) & RawTransmitAbort) {
    // Read only for its effect: it clears the abort, so the next transfer starts clean.
    (void)MmioRead16(ClearTransmitAbort);
    return true;
  }
  return false;
}
} // namespace

EFI_STATUS I2cSendByte(uint8_t Address, const uint8_t* Byte, BOOLEAN Restart, BOOLEAN Stop) {
  I2cSetTarget(Address);
  const uint16_t command =
      static_cast<uint16_t>(*Byte | (Restart ? CommandRestart : 0) | (Stop ? CommandStop : 0));
  for (uint32_t pass = 0; pass < I2cBytePollLimit; ++pass) {
    const uint16_t status = MmioRead16(Status);
    if (FoundAndClearedAbort()) {
      return EFI_DEVICE_ERROR;
    }
    if (status & StatusTransmitNotFull) {
      MmioWrite16(DataCommand, command);
      DelayMicroseconds(ByteSettleUs);
      return EFI_SUCCESS;
    }
  }
  return AbandonTransfer();
}

EFI_STATUS I2cReceiveByte(uint8_t Address, uint8_t* Byte) {
  I2cSetTarget(Address);
  // A byte already waiting in the receive FIFO is taken even before the command is queued; the
  // wait ends only once both have happened.
  // The passes are counted from 0 again once the command is queued, against the byte's bound.
  bool commandIssued = false;
  bool byteReceived = false;
  uint32_t passes = 0;
  uint32_t passLimit = I2cPollLimit;
  while (!(commandIssued && byteReceived)) {
    if (passes++ == passLimit) {
      return AbandonTransfer();
    }
    if (FoundAndClearedAbort()) {
      return EFI_DEVICE_ERROR;
    }
    const uint16_t status = MmioRead16(Status);
    if (status & StatusReceiveNotEmpty) {
      *Byte = static_cast<uint8_t>(MmioRead16(DataCommand));
      byteReceived = true;
    }
    if (commandIssued) {
      continue;
    }
    if (status & StatusTransmitNotFull) {
      MmioWrite16(DataCommand, ReadWithStopAndRestart);
      commandIssued = true;
      passes = 0;
      passLimit = I2cBytePollLimit;
      continue;
    }
    DelayMicroseconds(I2cPollIntervalUs);
  }
  return EFI_SUCCESS;
}

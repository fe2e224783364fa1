#include "i2c/I2cController.h"
#include "i2c/I2cRegisters.h"
#include "i2c/MmioWrites.h"
#include "platform/Delay.h"

using namespace I2cRegisters;

namespace {
constexpr uint16_t HighestTargetAddress = 0x3FF;
constexpr uint16_t HighestSevenBitAddress = 0x7F;
constexpr uint32_t TargetAddressTenBit = 1u << 12;

// Bus timing: SCL high and low counts of standard and fast mode, and the SDA hold time.
constexpr uint16_t StandardSclHighCount = 532;
constexpr uint16_t StandardSclLowCount = 626;
constexpr uint16_t FastSclHighCount = 80;
constexpr uint16_t FastSclLowCount = 173;
constexpr uint32_t SdaHoldCount = 50;

// Bit 0 master, bits 2:1 = 2 fast speed (the fast counts govern SCL), bit 5 repeated starts
// allowed, bit 6 target (slave) function off.
constexpr uint16_t ControlFastMaster = 0x65;

constexpr uint16_t EnableStatusEnabled = 1u << 0;

// clang-format off
// The set-up of a disabled controller, in this order; the target address goes between the two.
constexpr MmioWriteRow TimingSetup[] = {
  // Register        Value                 Width
  {StandardSclHigh,  StandardSclHighCount, 16},
  {StandardSclLow,   StandardSclLowCount,  16},
  {FastSclHigh,      FastSclHighCount,     16},
  {FastSclLow,       FastSclLowCount,      16},
  {SdaHold,          SdaHoldCount,         32},
  {InterruptMask,    0,                    16},
};
constexpr MmioWriteRow ModeSetup[] = {
  {ReceiveThreshold,  0,                   16},
  {TransmitThreshold, 0,                   16},
  {Control,           ControlFastMaster,   16},
  {DataCommand,       0,                   16},
};
// clang-format on

// Addresses above 127 are written in the 10-bit form on both paths, full set-up and re-target:
// a controller that is already set up would otherwise take Address & 0x3FF as a 7-bit address
// (bit 12 clear) and reach a different device than the one the set-up path reaches. This is a
// deliberate choice; every device of this module sits at a 7-bit address, which both forms write
// unchanged.
constexpr uint32_t TargetAddressValue(uint16_t Address) {
  return Address <= HighestSevenBitAddress ? Address
                                           : (Address & HighestTargetAddress) | TargetAddressTenBit;
}

EFI_STATUS EnableHandshake(uint16_t Enabled) {
  MmioWrite16(Enable, Enabled);
  for (uint32_t poll = 0; poll < I2cPollLimit; ++poll) {
    if ((MmioRead16(EnableStatus) & EnableStatusEnabled) == Enabled) {
      return EFI_SUCCESS;
    }
    DelayMicroseconds(I2cPollIntervalUs);
  }
  return EFI_NOT_READY;
}

bool WaitWhileActive() {
  for (uint32_t poll = 0; poll < I2cPollLimit; ++poll) {
    if ((MmioRead32(Status) & StatusActive) == 0) {
      return true;
    }
    DelayMicroseconds(I2cPollIntervalUs);
  }
  return false;
}
} // namespace

EFI_STATUS I2cDisable() {
  return EnableHandshake(0);
}

EFI_STATUS I2cEnable() {
  return EnableHandshake(EnableStatusEnabled);
}

EFI_STATUS I2cSetTarget(uint16_t Address) {
  if (Address > HighestTargetAddress) {
    return EFI_INVALID_PARAMETER;
  }

  // The controller keeps no set-up flag anywhere but in its BAR0.
  if ((MmioRead32(I2cConfigBar0) & I2cBarAddressMask) == PmicBusController.Bar0) {
    MmioWrite32(TargetAddress, TargetAddressValue(Address));
    return EFI_SUCCESS;
  }

  I2cControllerBringUp();
  // Timing and addressing may only change on an idle controller.
  if (!WaitWhileActive()) {
    return EFI_DEVICE_ERROR;
  }
  I2cDisable();
  ApplyMmioWrites(TimingSetup);
  MmioWrite16(TargetAddress, static_cast<uint16_t>(TargetAddressValue(Address)));
  ApplyMmioWrites(ModeSetup);
  I2cEnable();
  // Read only for its effect: it clears an abort left over from before the set-up.
  (void)MmioRead16(ClearTransmitAbort);
  return EFI_SUCCESS;
}

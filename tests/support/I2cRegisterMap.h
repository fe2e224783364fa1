// Where the PMIC bus controller's registers are, written out for tests independently of the
// module's own constants, so a wrong offset in the module cannot agree with itself.
#pragma once

#include <cstdint>

namespace i2cmap {

constexpr uint32_t ConfigIdentifier = 0xE00C5000;
constexpr uint32_t ConfigCommand = 0xE00C5004;
constexpr uint32_t ConfigBar0 = 0xE00C5010;
constexpr uint32_t ConfigBar1 = 0xE00C5014;

constexpr uint32_t Base = 0xFE950000;
constexpr uint32_t Control = Base + 0x00;
constexpr uint32_t TargetAddress = Base + 0x04;
constexpr uint32_t DataCommand = Base + 0x10;
constexpr uint32_t RawInterruptStatus = Base + 0x34;
constexpr uint32_t ClearTransmitAbort = Base + 0x54;
constexpr uint32_t Enable = Base + 0x6C;
constexpr uint32_t Status = Base + 0x70;
constexpr uint32_t TransmitAbortSource = Base + 0x80;
constexpr uint32_t EnableStatus = Base + 0x9C;

} // namespace i2cmap

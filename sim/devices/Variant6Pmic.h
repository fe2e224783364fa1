// The variant-6 PMIC at 0x5E: identification (bits 7-6) and revision (bits 5-3) in register 0x00
// (read-only); pending conditions in 0x12, acknowledged by writing ones; a converter started by
// writing 0xA1 to 0x50, busy in bit 0 of 0x50, reading in bits 1-0 of 0x54 (its other bits are
// storage) and in 0x55; and register 0x27, which the firmware writes 0x59 to and reads back until
// it sticks, and which can refuse that value for a while. Every other register is plain storage.
#pragma once

#include "sim/devices/PmicRegisterDevice.h"

namespace sim {

namespace variant6 {
inline constexpr uint8_t IdentityRegister = 0x00;
// Identification 3 with revision 1 (0xC8), one that detection accepts (0xC0-0xCF),
// unless the board says otherwise.
inline constexpr I2cRegisterValue Reset[] = {{IdentityRegister, 0xC8}};
inline constexpr uint8_t ReadOnly[] = {IdentityRegister};
inline constexpr uint8_t Pending[] = {0x12};
} // namespace variant6

inline constexpr PmicLayout Variant6Layout = {
    .Name = "pmic-variant6",
    .DefaultAddress = 0x5E,
    .Reset = variant6::Reset,
    .ReadOnly = variant6::ReadOnly,
    .WriteOneToClear = variant6::Pending,
    .Converter = PmicConverterLayout{.Control = 0x50,
                                     .StartMask = 0xFF,
                                     .StartValue = 0xA1,
                                     .ResultHigh = 0x54,
                                     .ResultLow = 0x55},
    .Refusing = PmicRefusingRegister{.Register = 0x27, .Value = 0x59},
};

} // namespace sim

// The variant-1 primary PMIC at 0x6E: identification code in register 0x00 and revision in 0x01
// (read-only); pending conditions in 0x20, 0x21 and 0x22, acknowledged by writing ones; a
// converter started by a write to 0x72 with bit 0 set, busy in bit 0 of 0x72 (its other bits are
// storage), reading in 0x80/0x81; and register 0x5F, which the firmware writes 0x80 to and reads
// back until it sticks, and which can refuse that value for a while. Every other register is
// plain storage. Its auxiliary device at 0x5E is a plain register file.
#pragma once

#include "sim/devices/PmicRegisterDevice.h"

namespace sim {

namespace variant1 {
inline constexpr uint8_t IdentityRegister = 0x00;
inline constexpr uint8_t RevisionRegister = 0x01;
// Identification 0x2B, one of the three codes the firmware accepts, with revision 0, unless the
// board says otherwise.
inline constexpr I2cRegisterValue Reset[] = {{IdentityRegister, 0x2B}};
inline constexpr uint8_t ReadOnly[] = {IdentityRegister, RevisionRegister};
inline constexpr uint8_t Pending[] = {0x20, 0x21, 0x22};
} // namespace variant1

inline constexpr PmicLayout Variant1Layout = {
    .Name = "pmic-variant1",
    .DefaultAddress = 0x6E,
    .Reset = variant1::Reset,
    .ReadOnly = variant1::ReadOnly,
    .WriteOneToClear = variant1::Pending,
    .Converter = PmicConverterLayout{.Control = 0x72,
                                     .StartMask = 0x01,
                                     .StartValue = 0x01,
                                     .ResultHigh = 0x80,
                                     .ResultLow = 0x81},
    .Refusing = PmicRefusingRegister{.Register = 0x5F, .Value = 0x80},
};

} // namespace sim

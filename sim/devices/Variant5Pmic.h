// The variant-5 PMIC at 0x34: identification and revision in register 0x03 (read-only),
// pending conditions in register 0x02 acknowledged by writing ones, two 12-bit ADC readings
// (0x78/0x79 and 0xA0/0xA1) and a level register at 0xB9. Every other register is plain storage.
// The readings are plain storage that a board or a test sets (SetAdc): this model runs no
// conversions.
#pragma once

#include "sim/devices/PmicRegisterDevice.h"

namespace sim {

namespace variant5 {
inline constexpr uint8_t PendingRegister = 0x02;
inline constexpr uint8_t IdentityRegister = 0x03;
// Identification 0x41 with revision 0 unless the board says otherwise.
inline constexpr I2cRegisterValue Reset[] = {{IdentityRegister, 0x41}};
inline constexpr uint8_t ReadOnly[] = {IdentityRegister};
inline constexpr uint8_t Pending[] = {PendingRegister};
} // namespace variant5

inline constexpr PmicLayout Variant5Layout = {
    .Name = "pmic-variant5",
    .DefaultAddress = 0x34,
    .Reset = variant5::Reset,
    .ReadOnly = variant5::ReadOnly,
    .WriteOneToClear = variant5::Pending,
    .Converter = std::nullopt,
    .Refusing = std::nullopt,
};

class Variant5Pmic : public PmicRegisterDevice {
public:
  static constexpr uint16_t DefaultAddress = Variant5Layout.DefaultAddress;
  static constexpr uint8_t PendingRegister = variant5::PendingRegister;
  static constexpr uint8_t IdentityRegister = variant5::IdentityRegister;
  static constexpr uint8_t AdcHigh = 0x78, AdcLow = 0x79, AdcAltHigh = 0xA0, AdcAltLow = 0xA1;

  Variant5Pmic() : PmicRegisterDevice(Variant5Layout) {}

  // A 12-bit reading, laid out as the device presents it: bits 11-4 in the high register,
  // bits 3-0 in the upper nibble of the low one.
  void SetAdc(bool Alternate, uint16_t Reading) {
    Preset(Alternate ? AdcAltHigh : AdcHigh, static_cast<uint8_t>(Reading >> 4));
    Preset(Alternate ? AdcAltLow : AdcLow, static_cast<uint8_t>((Reading & 0xF) << 4));
  }
};

} // namespace sim

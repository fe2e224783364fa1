// The variant-5 PMIC at 0x34: identification and revision in register 0x03 (read-only),
// pending conditions in register 0x02 acknowledged by writing ones, two 12-bit ADC readings
// (0x78/0x79 and 0xA0/0xA1) and a level register at 0xB9. Every other register is plain storage.
#pragma once

#include "sim/devices/I2cTarget.h"

namespace sim {

class Variant5Pmic : public I2cRegisterDevice {
public:
  static constexpr uint16_t DefaultAddress = 0x34;
  static constexpr uint8_t PendingRegister = 0x02;
  static constexpr uint8_t IdentityRegister = 0x03;
  static constexpr uint8_t AdcHigh = 0x78, AdcLow = 0x79, AdcAltHigh = 0xA0, AdcAltLow = 0xA1;

  // Identification 0x41 with revision 0 unless the board says otherwise.
  Variant5Pmic() { regs_[IdentityRegister] = 0x41; }

  std::string_view Name() const override { return "pmic-variant5"; }

  // Initial contents; 0x03 can only be set this way.
  void Preset(uint8_t Register, uint8_t Value) { regs_[Register] = Value; }
  uint8_t Peek(uint8_t Register) const { return regs_[Register]; }

  // A 12-bit reading, laid out as the device presents it: bits 11-4 in the high register,
  // bits 3-0 in the upper nibble of the low one.
  void SetAdc(bool Alternate, uint16_t Reading) {
    regs_[Alternate ? AdcAltHigh : AdcHigh] = static_cast<uint8_t>(Reading >> 4);
    regs_[Alternate ? AdcAltLow : AdcLow] = static_cast<uint8_t>((Reading & 0xF) << 4);
  }

protected:
  uint8_t ReadRegister(uint8_t Register) override { return regs_[Register]; }
  void WriteRegister(uint8_t Register, uint8_t Value) override {
    if (Register == IdentityRegister) {
      return;
    }
    if (Register == PendingRegister) {
      regs_[Register] &= static_cast<uint8_t>(~Value); // write ones to acknowledge
      return;
    }
    regs_[Register] = Value;
  }

private:
  uint8_t regs_[256] = {};
};

} // namespace sim

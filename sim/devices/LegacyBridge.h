// PCI 00:1F.0, the legacy bridge: the ACPI I/O base register at 0x40 (whose bit 1 turns the
// ACPI I/O window on) and the power-management controller's base at 0x44.
#pragma once

#include "sim/devices/PciConfigWindow.h"

namespace sim {

class LegacyBridge : public PciFunction {
public:
  static constexpr uint32_t AcpiBaseOffset = 0x40;
  static constexpr uint32_t PmcBaseOffset = 0x44;
  static constexpr uint32_t AcpiDecodeBit = 0x2;
  static constexpr uint32_t AcpiBaseMask = 0xFF80;

  LegacyBridge(uint16_t AcpiBase, uint32_t PmcBase) {
    Config.Set32(0x00, 0x1F005AB0); // identification of the simulated part
    Config.Set(AcpiBaseOffset, 16, AcpiBase);
    Config.Set32(PmcBaseOffset, PmcBase);
  }

  uint32_t AcpiBaseRegister() const { return Config.Get(AcpiBaseOffset, 16); }
  bool AcpiDecoded() const { return (Config.Get(AcpiBaseOffset, 16) & AcpiDecodeBit) != 0; }
  uint16_t AcpiIoBase() const {
    return static_cast<uint16_t>(Config.Get(AcpiBaseOffset, 16) & AcpiBaseMask);
  }
  uint32_t PmcBase() const { return Config.Get32(PmcBaseOffset); }
};

} // namespace sim

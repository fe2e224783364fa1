// PCI 00:18.5, the PMIC bus controller's function: identifier, command register and two 4 KiB
// memory BARs. The controller's register window decodes at BAR0 only while memory space is on
// and the function is not switched off by the power-management controller; a switched-off
// function reads all ones in configuration space.
#pragma once

#include "sim/Board.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PowerManagementController.h"

#include <optional>

namespace sim {

class I2cPciFunction : public PciFunction {
public:
  static constexpr uint32_t Identifier = 0x0F415AB0; // identification of the simulated part
  static constexpr uint32_t CommandOffset = 0x04;
  static constexpr uint32_t Bar0Offset = 0x10;
  static constexpr uint32_t Bar1Offset = 0x14;
  static constexpr uint16_t CommandMemorySpace = 1u << 1;
  static constexpr uint32_t BarAddressMask = 0xFFFFF000u; // 4 KiB, 32-bit, not prefetchable
  static constexpr uint32_t WindowSize = 0x1000;

  I2cPciFunction(Board& B, Device& Registers, const PowerManagementController& Pmc, bool Fitted,
                 uint32_t Bar0, uint32_t Bar1, uint16_t Command);

  bool Present() const override;
  void ConfigWrite(uint32_t Offset, unsigned Width, uint32_t Value) override;

  bool Decoding() const;
  uint32_t Bar0() const { return Config.Get32(Bar0Offset); }
  // Maps, moves or unmaps the register window to match the configuration.
  void UpdateDecode();

  // Its configuration space and the window it mapped, if it has mapped one yet (the board keeps
  // where the window is).
  struct State {
    RegisterFile Config;
    std::optional<Board::WindowId> Window;
  };
  State Saved() const { return {Config, window_}; }
  void Restore(const State& Saved) {
    Config = Saved.Config;
    window_ = Saved.Window;
  }

private:
  Board& board_;
  Device& registers_;
  const PowerManagementController& pmc_;
  bool fitted_;
  std::optional<Board::WindowId> window_;
};

} // namespace sim

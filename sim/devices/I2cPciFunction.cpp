#include "sim/devices/I2cPciFunction.h"

namespace sim {

I2cPciFunction::I2cPciFunction(Board& B, Device& Registers, const PowerManagementController& Pmc,
                               bool Fitted, uint32_t Bar0, uint32_t Bar1, uint16_t Command)
    : board_(B), registers_(Registers), pmc_(Pmc), fitted_(Fitted) {
  Config.Set32(0x00, Identifier);
  Config.Set(CommandOffset, 16, Command);
  Config.Set32(Bar0Offset, Bar0 & BarAddressMask);
  Config.Set32(Bar1Offset, Bar1 & BarAddressMask);
  UpdateDecode();
}

bool I2cPciFunction::Present() const {
  return fitted_ && !pmc_.Disabled(FunctionDisableI2cPmicBus);
}

void I2cPciFunction::ConfigWrite(uint32_t Offset, unsigned Width, uint32_t Value) {
  PciFunction::ConfigWrite(Offset, Width, Value);
  // The BARs' size and flag bits are hard-wired to zero.
  for (uint32_t bar : {Bar0Offset, Bar1Offset}) {
    Config.Set32(bar, Config.Get32(bar) & BarAddressMask);
  }
  UpdateDecode();
}

bool I2cPciFunction::Decoding() const {
  return Present() && (Config.Get(CommandOffset, 16) & CommandMemorySpace) != 0 && Bar0() != 0;
}

void I2cPciFunction::UpdateDecode() {
  if (!Decoding()) {
    if (window_) {
      board_.Unmap(*window_);
    }
    return;
  }
  if (window_) {
    board_.Move(*window_, Bar0());
  } else {
    window_ = board_.Map(Space::Memory, Bar0(), WindowSize, registers_);
  }
}

} // namespace sim

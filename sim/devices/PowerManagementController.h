// The power-management controller's register window, placed where the legacy bridge's PMC base
// (0x44, low 9 bits masked) says. Registers are plain storage; FunctionDisable switches SoC
// functions off, and the functions it governs are told when it changes.
#pragma once

#include "sim/Device.h"
#include "sim/RegisterFile.h"

#include <functional>
#include <vector>

namespace sim {

constexpr uint32_t PmcBaseMask = 0xFFFFFE00u;
constexpr uint32_t PmcWindowSize = 0x200;
constexpr uint32_t PmcFunctionDisable = 0x34;
constexpr uint32_t FunctionDisableI2cPmicBus = 1u << 29; // hides 00:18.5

class PowerManagementController : public Device {
public:
  explicit PowerManagementController(uint32_t FunctionDisable) : regs_(PmcWindowSize) {
    regs_.Set32(PmcFunctionDisable, FunctionDisable);
  }
  std::string_view Name() const override { return "pmc"; }
  uint32_t Read(uint32_t Offset, unsigned Width) override { return regs_.Get(Offset, Width); }
  void Write(uint32_t Offset, unsigned Width, uint32_t Value) override {
    const uint32_t before = FunctionDisable();
    regs_.Set(Offset, Width, Value);
    if (FunctionDisable() != before) {
      for (const auto& listener : listeners_) {
        listener();
      }
    }
  }

  uint32_t FunctionDisable() const { return regs_.Get32(PmcFunctionDisable); }
  bool Disabled(uint32_t Bit) const { return (FunctionDisable() & Bit) != 0; }
  void OnFunctionDisableChange(std::function<void()> Listener) {
    listeners_.push_back(std::move(Listener));
  }

  // Its state is its registers; a restore tells no listener, whose own state comes back with it.
  const RegisterFile& Saved() const { return regs_; }
  void Restore(const RegisterFile& Saved) { regs_ = Saved; }

private:
  RegisterFile regs_;
  std::vector<std::function<void()>> listeners_;
};

} // namespace sim

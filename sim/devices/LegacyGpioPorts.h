// The I/O-port GPIO registers, ports 0x500-0x59B: plain 32-bit registers.
#pragma once

#include "sim/Device.h"
#include "sim/RegisterFile.h"

namespace sim {

constexpr uint16_t LegacyGpioPortBase = 0x500;
constexpr uint16_t LegacyGpioPortCount = 0x9C;

class LegacyGpioPorts : public Device {
public:
  // Out of reset the banks' select registers claim every line for GPIO use.
  LegacyGpioPorts() : regs_(LegacyGpioPortCount) {
    for (uint32_t bank : {0x00u, 0x20u, 0x40u, 0x80u}) {
      regs_.Set32(bank, 0xFFFFFFFF);
    }
  }
  std::string_view Name() const override { return "legacy-gpio"; }
  uint32_t Read(uint32_t Offset, unsigned Width) override { return regs_.Get(Offset, Width); }
  void Write(uint32_t Offset, unsigned Width, uint32_t Value) override {
    regs_.Set(Offset, Width, Value);
  }
  uint32_t Peek(uint32_t Offset) const { return regs_.Get32(Offset); }

  // Its state is its registers.
  const RegisterFile& Saved() const { return regs_; }
  void Restore(const RegisterFile& Saved) { regs_ = Saved; }

private:
  RegisterFile regs_;
};

} // namespace sim

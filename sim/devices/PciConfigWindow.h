// The memory-mapped PCI configuration window at 0xE0000000: 4 KiB of configuration space per
// bus/device/function. A function that is absent, or hidden, reads all ones and drops writes.
#pragma once

#include "sim/Device.h"
#include "sim/RegisterFile.h"

#include <map>

namespace sim {

constexpr uint32_t PciWindowBase = 0xE0000000u;
constexpr uint32_t PciWindowSize = 0x10000000u;

constexpr uint32_t Bdf(uint32_t Bus, uint32_t Dev, uint32_t Fn) {
  return (Bus << 8) | (Dev << 3) | Fn;
}

// One function's configuration space. The default behaviour is plain storage; functions with
// side effects override the hooks.
class PciFunction {
public:
  virtual ~PciFunction() = default;
  // A hidden function does not decode: it reads all ones and ignores writes.
  virtual bool Present() const { return true; }
  virtual uint32_t ConfigRead(uint32_t Offset, unsigned Width) { return Config.Get(Offset, Width); }
  virtual void ConfigWrite(uint32_t Offset, unsigned Width, uint32_t Value) {
    Config.Set(Offset, Width, Value);
  }

  RegisterFile Config{0x1000};
};

class PciConfigWindow : public Device {
public:
  std::string_view Name() const override { return "pci-config"; }
  void AddFunction(uint32_t Bus, uint32_t Dev, uint32_t Fn, PciFunction& Function) {
    functions_[Bdf(Bus, Dev, Fn)] = &Function;
  }
  uint32_t Read(uint32_t Offset, unsigned Width) override;
  void Write(uint32_t Offset, unsigned Width, uint32_t Value) override;

private:
  PciFunction* Find(uint32_t Offset);
  std::map<uint32_t, PciFunction*> functions_;
};

} // namespace sim

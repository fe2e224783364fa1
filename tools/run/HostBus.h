// Host builds only: the register primitives forward every call to the bus installed here, so a
// test or tool can put a simulated board behind the module. The module itself never sees this.
#pragma once

#include <stdint.h>

class HostBus {
public:
  virtual uint32_t MmioRead(uint32_t Address, unsigned Width) = 0;
  virtual void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) = 0;
  virtual uint32_t IoRead(uint16_t Port, unsigned Width) = 0;
  virtual void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) = 0;
  virtual void Pause() = 0;
  virtual uintptr_t IdtBase() = 0;

protected:
  ~HostBus() = default;
};

// Installs the bus the primitives forward to; returns the one installed before (may be null).
HostBus* InstallHostBus(HostBus* Bus);

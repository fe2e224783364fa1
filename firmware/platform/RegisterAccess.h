// The module's only way to the hardware. Every other file of the module reaches registers through
// these calls and nothing else.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The primitives, one instance per build, chosen by the include path:
//   uint8_t MmioRead8(uint32_t Address);     void MmioWrite8(uint32_t Address, uint8_t Value);
//   uint16_t MmioRead16(uint32_t Address);   void MmioWrite16(uint32_t Address, uint16_t Value);
//   uint32_t MmioRead32(uint32_t Address);   void MmioWrite32(uint32_t Address, uint32_t Value);
//   uint32_t IoRead32(uint16_t Port);        void IoWrite32(uint16_t Port, uint32_t Value);
//   void CpuPause();          spin-wait hint for busy-wait loops
//   uintptr_t ReadIdtBase();  linear base of the interrupt descriptor table; the PEI services
//                             pointer is kept in the pointer-sized word just below it
// The target instance defines them inline (real loads, stores and port instructions); the host
// instance declares out-of-line calls into the simulated board.
#include "RegisterAccessInstance.h"

// Base of the memory-mapped PCI configuration window; the module assumes it is decoded there.
constexpr uint32_t PciConfigBase = 0xE0000000u;

constexpr uint32_t PciConfigAddress(uint32_t Bus, uint32_t Device, uint32_t Function,
                                    uint32_t Offset) {
  return PciConfigBase + (Bus << 20) + (Device << 15) + (Function << 12) + Offset;
}

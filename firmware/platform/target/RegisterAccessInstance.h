// Target instance of the register primitives, for the image: flat 32-bit protected mode, so a
// physical address is used directly as a pointer. Volatile accesses keep every read and write, at
// its width and in program order. Defined inline, so that a busy-wait is a few instructions with
// no call in it; the image build puts this directory on the include path, host builds the host
// one.
#pragma once

#include <stdint.h>

#define BOARDINIT_PRIMITIVE inline __attribute__((always_inline))

namespace RegisterAccessTarget {
template <typename T> BOARDINIT_PRIMITIVE volatile T* Register(uint32_t Address) {
  return reinterpret_cast<volatile T*>(static_cast<uintptr_t>(Address));
}
} // namespace RegisterAccessTarget

BOARDINIT_PRIMITIVE uint8_t MmioRead8(uint32_t Address) {
  return *RegisterAccessTarget::Register<uint8_t>(Address);
}
BOARDINIT_PRIMITIVE uint16_t MmioRead16(uint32_t Address) {
  return *RegisterAccessTarget::Register<uint16_t>(Address);
}
BOARDINIT_PRIMITIVE uint32_t MmioRead32(uint32_t Address) {
  return *RegisterAccessTarget::Register<uint32_t>(Address);
}
BOARDINIT_PRIMITIVE void MmioWrite8(uint32_t Address, uint8_t Value) {
  *RegisterAccessTarget::Register<uint8_t>(Address) = Value;
}
BOARDINIT_PRIMITIVE void MmioWrite16(uint32_t Address, uint16_t Value) {
  *RegisterAccessTarget::Register<uint16_t>(Address) = Value;
}
BOARDINIT_PRIMITIVE void MmioWrite32(uint32_t Address, uint32_t Value) {
  *RegisterAccessTarget::Register<uint32_t>(Address) = Value;
}

BOARDINIT_PRIMITIVE uint32_t IoRead32(uint16_t Port) {
  uint32_t value;
  __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(Port) : "memory");
  return value;
}

BOARDINIT_PRIMITIVE void IoWrite32(uint16_t Port, uint32_t Value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(Value), "Nd"(Port) : "memory");
}

BOARDINIT_PRIMITIVE void CpuPause() {
  __asm__ __volatile__("pause" : : : "memory");
}

BOARDINIT_PRIMITIVE uintptr_t ReadIdtBase() {
  // sidt stores a 16-bit limit followed by the 32-bit base.
  struct __attribute__((packed)) {
    uint16_t Limit;
    uint32_t Base;
  } idtr;
  __asm__ __volatile__("sidt %0" : "=m"(idtr));
  return idtr.Base;
}

#undef BOARDINIT_PRIMITIVE

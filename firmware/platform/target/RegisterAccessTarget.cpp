// Target instance of the register primitives: flat 32-bit protected mode, so a physical address
// is used directly as a pointer. Volatile accesses keep every read and write, at its width and in
// program order.
#include "platform/RegisterAccess.h"

namespace {
template <typename T> volatile T* Register(uint32_t Address) {
  return reinterpret_cast<volatile T*>(static_cast<uintptr_t>(Address));
}
} // namespace

uint8_t MmioRead8(uint32_t Address) {
  return *Register<uint8_t>(Address);
}
uint16_t MmioRead16(uint32_t Address) {
  return *Register<uint16_t>(Address);
}
uint32_t MmioRead32(uint32_t Address) {
  return *Register<uint32_t>(Address);
}
void MmioWrite8(uint32_t Address, uint8_t Value) {
  *Register<uint8_t>(Address) = Value;
}
void MmioWrite16(uint32_t Address, uint16_t Value) {
  *Register<uint16_t>(Address) = Value;
}
void MmioWrite32(uint32_t Address, uint32_t Value) {
  *Register<uint32_t>(Address) = Value;
}

uint32_t IoRead32(uint16_t Port) {
  uint32_t value;
  __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(Port) : "memory");
  return value;
}

void IoWrite32(uint16_t Port, uint32_t Value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(Value), "Nd"(Port) : "memory");
}

void CpuPause() {
  __asm__ __volatile__("pause" : : : "memory");
}

uintptr_t ReadIdtBase() {
  // sidt stores a 16-bit limit followed by the 32-bit base.
  struct __attribute__((packed)) {
    uint16_t Limit;
    uint32_t Base;
  } idtr;
  __asm__ __volatile__("sidt %0" : "=m"(idtr));
  return idtr.Base;
}

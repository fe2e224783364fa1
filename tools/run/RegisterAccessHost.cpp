// Host instance of the register primitives: each call goes to the installed bus, unchanged.
#include "platform/RegisterAccess.h"
#include "tools/run/HostBus.h"

#include <cstdio>
#include <cstdlib>

namespace {
// The one piece of mutable state on the host side: which board the primitives talk to. One per
// thread, so that threads (the Python module's callers) boot boards of their own side by side.
// Initial-exec: the module reads it on every access, which the general model would make a call in
// a shared object; a pointer fits in the static TLS that glibc keeps for libraries loaded late.
thread_local HostBus* InstalledBus [[gnu::tls_model("initial-exec")]] = nullptr;

HostBus& Bus() {
  // Touching hardware with no board installed is a harness bug; fail loudly rather than guess,
  // and say so, since a bare trap reads like a crash inside the module.
  if (InstalledBus == nullptr) {
    std::fputs("boardinit: register access with no board installed behind the primitives\n",
               stderr);
    std::abort();
  }
  return *InstalledBus;
}
} // namespace

HostBus* InstallHostBus(HostBus* Bus) {
  HostBus* previous = InstalledBus;
  InstalledBus = Bus;
  return previous;
}

uint8_t MmioRead8(uint32_t Address) {
  return static_cast<uint8_t>(Bus().MmioRead(Address, 8));
}
uint16_t MmioRead16(uint32_t Address) {
  return static_cast<uint16_t>(Bus().MmioRead(Address, 16));
}
uint32_t MmioRead32(uint32_t Address) {
  return Bus().MmioRead(Address, 32);
}
// Part of the seam, though the module writes no 8-bit register.
void MmioWrite8(uint32_t Address, uint8_t Value) {
  Bus().MmioWrite(Address, 8, Value);
}
void MmioWrite16(uint32_t Address, uint16_t Value) {
  Bus().MmioWrite(Address, 16, Value);
}
void MmioWrite32(uint32_t Address, uint32_t Value) {
  Bus().MmioWrite(Address, 32, Value);
}
uint32_t IoRead32(uint16_t Port) {
  return Bus().IoRead(Port, 32);
}
void IoWrite32(uint16_t Port, uint32_t Value) {
  Bus().IoWrite(Port, 32, Value);
}
void CpuPause() {
  Bus().Pause();
}
uintptr_t ReadIdtBase() {
  return Bus().IdtBase();
}

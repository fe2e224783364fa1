// The i386 register view GDB is given: the target description (GDB's i386 core feature, without
// SSE) and the registers in its order, each with the emulator's register that holds it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace emu::gdb {

struct I386Register {
  const char* Name;
  unsigned Bytes; // in the g packet: 4, or 10 for an x87 stack register
  int EmulatorId; // Unicorn's UC_X86_REG_*, 0 for one the CPU model does not keep
  bool Writable;  // the general registers, EIP and EFLAGS; the flat segments and x87 are not
};

std::span<const I386Register> I386Registers();
std::string I386TargetXml();

} // namespace emu::gdb

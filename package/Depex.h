// PEI dependency expressions: a postfix program of opcodes, PUSH carrying a PPI's GUID, ending
// in END.
#pragma once

#include "package/Guid.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace package {

enum class DepexOpcode : uint8_t {
  Before = 0x00,
  After = 0x01,
  Push = 0x02,
  And = 0x03,
  Or = 0x04,
  Not = 0x05,
  True = 0x06,
  False = 0x07,
  End = 0x08,
  Sor = 0x09,
};

struct DepexInstruction {
  DepexOpcode Opcode{};
  std::optional<Guid> Operand; // Push, Before and After
  bool operator==(const DepexInstruction&) const = default;
};

// Dispatch without waiting for anything: TRUE, END.
std::vector<uint8_t> DepexAlways();
// Dispatch once Ppi is installed: PUSH Ppi, END.
std::vector<uint8_t> DepexAfterPpi(const Guid& Ppi);

// Decodes a PEI dependency expression; refuses unknown opcodes, a truncated GUID, a missing END
// or bytes after it, BEFORE/AFTER/SOR (which a PEI expression may not hold) and a program that
// does not leave exactly one value.
std::vector<DepexInstruction> ParseDepex(std::span<const uint8_t> Data);

} // namespace package

#include "package/Depex.h"

#include "common/Format.h"
#include "package/Bytes.h"

#include <algorithm>

namespace package {

std::vector<uint8_t> DepexAlways() {
  return {static_cast<uint8_t>(DepexOpcode::True), static_cast<uint8_t>(DepexOpcode::End)};
}

std::vector<uint8_t> DepexAfterPpi(const Guid& Ppi) {
  std::vector<uint8_t> data(1 + Ppi.Bytes.size() + 1);
  data.front() = static_cast<uint8_t>(DepexOpcode::Push);
  std::copy(Ppi.Bytes.begin(), Ppi.Bytes.end(), data.begin() + 1);
  data.back() = static_cast<uint8_t>(DepexOpcode::End);
  return data;
}

std::vector<DepexInstruction> ParseDepex(std::span<const uint8_t> Data) {
  const Reader in(Data);
  std::vector<DepexInstruction> program;
  int depth = 0; // values on the evaluation stack
  for (size_t at = 0;;) {
    const auto opcode = static_cast<DepexOpcode>(in.U8(at, "dependency expression without END"));
    DepexInstruction instruction{opcode, std::nullopt};
    const std::string where = " at " + tools::Hex(at) + " of the dependency expression";
    ++at;
    switch (opcode) {
    case DepexOpcode::Push:
      instruction.Operand = Guid::FromBytes(in.Slice(at, 16, "GUID of PUSH" + where).first<16>());
      at += 16;
      ++depth;
      break;
    case DepexOpcode::True:
    case DepexOpcode::False:
      ++depth;
      break;
    case DepexOpcode::And:
    case DepexOpcode::Or:
      if (depth < 2) {
        throw FormatError("AND/OR with fewer than two values" + where);
      }
      --depth;
      break;
    case DepexOpcode::Not:
      if (depth < 1) {
        throw FormatError("NOT without a value" + where);
      }
      break;
    case DepexOpcode::End:
      break;
    default:
      throw FormatError("opcode " + tools::Hex(static_cast<uint8_t>(opcode)) +
                        " has no place in a PEI dependency expression" + where);
    }
    program.push_back(instruction);
    if (opcode == DepexOpcode::End) {
      if (at != Data.size()) {
        throw FormatError(std::to_string(Data.size() - at) +
                          " bytes after END of the dependency expression");
      }
      if (depth != 1) {
        throw FormatError("dependency expression leaves " + std::to_string(depth) +
                          " values, not one");
      }
      return program;
    }
  }
}

} // namespace package

// The access trace: one record per primitive call, in program order. Its text form is stable and
// parsed by other tools:
//   # boardtrace 1
//   <seq> <time_ns> <op> <width> <address> <value>
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class AccessOp : uint8_t { Read, Write, In, Out };

struct Access {
  uint64_t Seq;
  uint64_t TimeNs;
  AccessOp Op;
  uint8_t Width;
  uint32_t Address;
  uint32_t Value;
  bool operator==(const Access&) const = default;
};

std::string_view OpName(AccessOp Op);
std::string FormatAccess(const Access& A);

class Trace {
public:
  void Record(uint64_t TimeNs, AccessOp Op, unsigned Width, uint32_t Address, uint32_t Value);
  const std::vector<Access>& Accesses() const { return accesses_; }
  void Clear() { accesses_.clear(); }
  void WriteText(std::ostream& Out) const;

private:
  std::vector<Access> accesses_;
};

// Parses the text form back; returns false with a message naming the line on a malformed trace.
bool ParseTrace(std::string_view Text, std::vector<Access>& Out, std::string& Error);

} // namespace sim

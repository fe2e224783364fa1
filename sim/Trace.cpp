#include "sim/Trace.h"

#include <charconv>
#include <cstdio>
#include <ostream>

namespace sim {

std::string_view OpName(AccessOp Op) {
  switch (Op) {
  case AccessOp::Read:
    return "R";
  case AccessOp::Write:
    return "W";
  case AccessOp::In:
    return "IN";
  case AccessOp::Out:
    return "OUT";
  }
  return "?";
}

std::string FormatAccess(const Access& A) {
  char line[96];
  const int digits = A.Width / 4;
  std::snprintf(line, sizeof line, "%llu %llu %s %u 0x%08X 0x%0*X",
                static_cast<unsigned long long>(A.Seq), static_cast<unsigned long long>(A.TimeNs),
                OpName(A.Op).data(), static_cast<unsigned>(A.Width), A.Address, digits, A.Value);
  return line;
}

void Trace::Record(uint64_t TimeNs, AccessOp Op, unsigned Width, uint32_t Address, uint32_t Value) {
  accesses_.push_back(
      Access{accesses_.size(), TimeNs, Op, static_cast<uint8_t>(Width), Address, Value});
}

void Trace::WriteText(std::ostream& Out) const {
  Out << "# boardtrace 1\n";
  for (const Access& access : accesses_) {
    Out << FormatAccess(access) << '\n';
  }
}

namespace {
bool ParseHex(std::string_view Field, size_t Digits, uint32_t& Out) {
  if (Field.size() != Digits + 2 || Field.substr(0, 2) != "0x") {
    return false;
  }
  for (char c : Field.substr(2)) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return std::from_chars(Field.data() + 2, Field.data() + Field.size(), Out, 16).ec == std::errc{};
}

bool ParseDecimal(std::string_view Field, uint64_t& Out) {
  auto [end, ec] = std::from_chars(Field.data(), Field.data() + Field.size(), Out);
  return ec == std::errc{} && end == Field.data() + Field.size();
}

bool ParseLine(std::string_view Line, Access& A) {
  std::string_view fields[6];
  size_t count = 0;
  while (!Line.empty()) {
    const size_t space = Line.find(' ');
    if (count == 6) {
      return false;
    }
    fields[count++] = Line.substr(0, space);
    Line = space == std::string_view::npos ? std::string_view{} : Line.substr(space + 1);
  }
  if (count != 6) {
    return false;
  }
  const std::string_view ops[] = {"R", "W", "IN", "OUT"};
  bool knownOp = false;
  for (int op = 0; op < 4; ++op) {
    if (fields[2] == ops[op]) {
      A.Op = static_cast<AccessOp>(op);
      knownOp = true;
    }
  }
  uint64_t width = 0;
  if (!knownOp || !ParseDecimal(fields[0], A.Seq) || !ParseDecimal(fields[1], A.TimeNs) ||
      !ParseDecimal(fields[3], width) || (width != 8 && width != 16 && width != 32)) {
    return false;
  }
  A.Width = static_cast<uint8_t>(width);
  return ParseHex(fields[4], 8, A.Address) && ParseHex(fields[5], width / 4, A.Value);
}
} // namespace

bool ParseTrace(std::string_view Text, std::vector<Access>& Out, std::string& Error) {
  size_t lineNumber = 0;
  while (!Text.empty()) {
    const size_t end = Text.find('\n');
    std::string_view line = Text.substr(0, end);
    Text = end == std::string_view::npos ? std::string_view{} : Text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') {
      continue;
    }
    Access access{};
    if (!ParseLine(line, access)) {
      Error = "line " + std::to_string(lineNumber) + ": not a trace record: " + std::string(line);
      return false;
    }
    Out.push_back(access);
  }
  return true;
}

} // namespace sim

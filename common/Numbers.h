// Numbers written as text, read in one place: hex digits (a GUID, a GDB packet) and the numbers
// of a command line (decimal, or hex behind 0x).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tools {

// 0-15 for a hex digit of either case, -1 for anything else.
constexpr int HexDigit(char C) {
  if (C >= '0' && C <= '9') {
    return C - '0';
  }
  if (C >= 'a' && C <= 'f') {
    return C - 'a' + 10;
  }
  if (C >= 'A' && C <= 'F') {
    return C - 'A' + 10;
  }
  return -1;
}

// All of Text as hex digits, 1 to 16 of them, no prefix.
std::optional<uint64_t> ParseHexDigits(std::string_view Text);

// Decimal, or hex behind 0x or 0X, at most Max. A decimal number with a leading zero is refused:
// elsewhere it would be octal, and an address written that way is more likely meant as hex.
std::optional<uint64_t> ParseNumber(std::string_view Text, uint64_t Max);

} // namespace tools

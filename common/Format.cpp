#include "common/Format.h"

#include <cstdio>

namespace tools {

std::string Hex(uint64_t Value, int Digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", Digits, static_cast<unsigned long long>(Value));
  return text;
}

std::string HexBytes(uint64_t Value) {
  int digits = 1;
  while (digits < 16 && (Value >> (4 * digits)) != 0) {
    ++digits;
  }
  return Hex(Value, digits + digits % 2);
}

std::string HexDigits(uint64_t Value) {
  char text[20];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(Value));
  return text;
}

std::string Milliseconds(uint64_t Ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu ms", static_cast<unsigned long long>(Ns / 1000000),
                static_cast<unsigned long long>(Ns / 1000 % 1000));
  return text;
}

} // namespace tools

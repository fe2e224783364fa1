#include "tools/run/Hex.h"

#include <cstdio>

namespace tools {

std::string Hex(uint32_t Value, int Digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", Digits, Value);
  return text;
}

} // namespace tools

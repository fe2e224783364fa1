#include "common/Numbers.h"

namespace tools {

std::optional<uint64_t> ParseHexDigits(std::string_view Text) {
  if (Text.empty() || Text.size() > 16) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : Text) {
    const int digit = HexDigit(c);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

std::optional<uint64_t> ParseNumber(std::string_view Text, uint64_t Max) {
  std::optional<uint64_t> value;
  if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Text.remove_prefix(2);
    while (Text.size() > 16 && Text.front() == '0') {
      Text.remove_prefix(1);
    }
    value = ParseHexDigits(Text);
  } else if (!Text.empty() && (Text.size() == 1 || Text.front() != '0')) {
    uint64_t decimal = 0;
    for (const char c : Text) {
      if (c < '0' || c > '9' || decimal > (UINT64_MAX - 9) / 10) {
        return std::nullopt;
      }
      decimal = decimal * 10 + static_cast<uint64_t>(c - '0');
    }
    value = decimal;
  }
  return value && *value <= Max ? value : std::nullopt;
}

} // namespace tools

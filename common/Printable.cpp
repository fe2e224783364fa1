#include "common/Printable.h"

#include <cstdio>

namespace tools {

std::string Printable(std::string_view Text, Backslashes Backslash) {
  std::string out;
  out.reserve(Text.size());
  for (const char c : Text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || (c == '\\' && Backslash == Backslashes::Escape)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(std::string_view Text) {
  return "'" + Printable(Text.substr(0, QuotedBytes)) + (Text.size() > QuotedBytes ? "'..." : "'");
}

} // namespace tools

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

std::string ShellWord(std::string_view Text) {
  constexpr std::string_view Plain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._/-:@,+=";
  if (!Text.empty() && Text.find_first_not_of(Plain) == std::string_view::npos) {
    return std::string(Text);
  }
  const std::string printable = Printable(Text, Backslashes::Keep);
  if (printable == Text) {
    std::string quoted = "'";
    for (const char c : Text) {
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
  }
  std::string quoted = "$'";
  for (const char c : Text) {
    quoted += c == '\'' || c == '\\' ? std::string{'\\', c} : Printable(std::string_view(&c, 1));
  }
  return quoted + "'";
}

} // namespace tools

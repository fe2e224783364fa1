#include "package/Guid.h"

#include "common/Numbers.h"

#include <cstdio>
#include <string_view>

namespace package {

namespace {

// Text position of each stored byte: the three leading fields are little-endian.
constexpr std::array<size_t, 16> TextByteOf = {3, 2, 1,  0,  5,  4,  7,  6,
                                               8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::array<size_t, 4> Dashes = {8, 13, 18, 23};

Guid MustParse(std::string_view Text) {
  return *Guid::Parse(Text);
}

} // namespace

std::optional<Guid> Guid::Parse(std::string_view Text) {
  if (Text.size() != 36) {
    return std::nullopt;
  }
  std::array<uint8_t, 16> textBytes{};
  size_t next = 0;
  for (size_t at = 0; at < Text.size();) {
    if (next < 4 && at == Dashes[next]) {
      if (Text[at] != '-') {
        return std::nullopt;
      }
      ++at;
      ++next;
      continue;
    }
    const int high = tools::HexDigit(Text[at]);
    const int low = at + 1 < Text.size() ? tools::HexDigit(Text[at + 1]) : -1;
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    textBytes[(at - next) / 2] = static_cast<uint8_t>(high << 4 | low);
    at += 2;
  }
  Guid guid;
  for (size_t i = 0; i < 16; ++i) {
    guid.Bytes[i] = textBytes[TextByteOf[i]];
  }
  return guid;
}

Guid Guid::FromBytes(std::span<const uint8_t, 16> Stored) {
  Guid guid;
  std::copy(Stored.begin(), Stored.end(), guid.Bytes.begin());
  return guid;
}

std::string Guid::ToString() const {
  std::array<uint8_t, 16> textBytes{};
  for (size_t i = 0; i < 16; ++i) {
    textBytes[TextByteOf[i]] = Bytes[i];
  }
  std::string text;
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      text += '-';
    }
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", textBytes[i]);
    text += digits;
  }
  return text;
}

const Guid FirmwareFileSystem2 = MustParse("8C8CE578-8A3D-4F1C-9935-896185C32DD3");
const Guid FirmwareFileSystem3 = MustParse("5473C07A-3DCB-4DCA-BD6F-1E9689E7349A");
const Guid PermanentMemoryInstalledPpi = MustParse("F894643D-C449-42D1-8EA8-85BDD8C65BDE");

} // namespace package

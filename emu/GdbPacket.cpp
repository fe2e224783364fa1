#include "emu/GdbPacket.h"

#include "common/Numbers.h"

#include <string_view>

namespace emu::gdb {

namespace {

constexpr char Escape = '}';
constexpr uint8_t EscapeXor = 0x20;
constexpr const char* Digits = "0123456789abcdef";

using tools::HexDigit;

} // namespace

std::string Frame(std::string_view Payload) {
  std::string framed = "$";
  uint8_t sum = 0;
  for (char c : Payload) {
    if (c == '$' || c == '#' || c == Escape || c == '*') {
      framed += Escape;
      sum = static_cast<uint8_t>(sum + Escape);
      c = static_cast<char>(c ^ EscapeXor);
    }
    framed += c;
    sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  }
  framed += '#';
  framed += Digits[sum >> 4];
  framed += Digits[sum & 0xF];
  return framed;
}

void PacketReader::Feed(std::string_view Bytes) {
  pending_.append(Bytes);
}

std::optional<Received> PacketReader::Next() {
  for (;;) {
    // Between packets only '$' and the interrupt byte mean anything.
    size_t start = 0;
    while (start < pending_.size() && pending_[start] != '$' && pending_[start] != InterruptByte) {
      ++start;
    }
    pending_.erase(0, start);
    if (pending_.empty()) {
      return std::nullopt;
    }
    if (pending_[0] == InterruptByte) {
      pending_.erase(0, 1);
      return Received{Received::Kind::Interrupt, {}};
    }
    const size_t end = pending_.find('#');
    if (end == std::string::npos) {
      if (pending_.size() > MaxPacket) {
        pending_.clear(); // never a packet of ours: drop it rather than grow
        return Received{Received::Kind::BadPacket, {}};
      }
      return std::nullopt;
    }
    if (pending_.size() < end + 3) {
      return std::nullopt;
    }
    const std::string_view body(pending_.data() + 1, end - 1);
    const int high = HexDigit(pending_[end + 1]);
    const int low = HexDigit(pending_[end + 2]);
    uint8_t sum = 0;
    std::string payload;
    bool escaped = false;
    for (char c : body) {
      sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
      if (escaped) {
        payload += static_cast<char>(c ^ EscapeXor);
        escaped = false;
      } else if (c == Escape) {
        escaped = true;
      } else {
        payload += c;
      }
    }
    pending_.erase(0, end + 3);
    if (high < 0 || low < 0 || sum != (high << 4 | low) || escaped) {
      return Received{Received::Kind::BadPacket, {}};
    }
    return Received{Received::Kind::Packet, std::move(payload)};
  }
}

std::string ToHex(std::span<const uint8_t> Bytes) {
  std::string hex;
  hex.reserve(2 * Bytes.size());
  for (uint8_t byte : Bytes) {
    hex += Digits[byte >> 4];
    hex += Digits[byte & 0xF];
  }
  return hex;
}

std::string ToHex(std::string_view Text) {
  return ToHex({reinterpret_cast<const uint8_t*>(Text.data()), Text.size()});
}

bool FromHex(std::string_view Hex, std::vector<uint8_t>& Bytes) {
  if (Hex.size() % 2 != 0) {
    return false;
  }
  for (size_t at = 0; at < Hex.size(); at += 2) {
    const int high = HexDigit(Hex[at]);
    const int low = HexDigit(Hex[at + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    Bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

} // namespace emu::gdb

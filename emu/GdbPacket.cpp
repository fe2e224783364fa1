#include "emu/GdbPacket.h"

#include "common/Numbers.h"

#include <algorithm>
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
  for (const char c : Bytes) {
    switch (state_) {
    case State::Between: // only '$' and the interrupt byte mean anything here
      if (c == '$') {
        state_ = State::InPacket;
      } else if (c == InterruptByte) {
        Queue({Received::Kind::Interrupt, {}});
      }
      break;
    case State::InPacket:
      if (c == '#') {
        state_ = State::Checksum;
      } else if (body_.size() == MaxPacket) {
        body_.clear(); // never a packet of ours: drop it rather than grow
        state_ = State::Between;
        Queue({Received::Kind::BadPacket, {}});
      } else {
        body_ += c;
      }
      break;
    case State::Checksum:
      checksum_ += c;
      if (checksum_.size() == 2) {
        Finish();
      }
      break;
    }
  }
}

void PacketReader::Finish() {
  const int high = HexDigit(checksum_[0]);
  const int low = HexDigit(checksum_[1]);
  uint8_t sum = 0;
  std::string payload;
  bool escaped = false;
  for (const char c : body_) {
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
  body_.clear();
  checksum_.clear();
  state_ = State::Between;
  if (high < 0 || low < 0 || sum != (high << 4 | low) || escaped) {
    Queue({Received::Kind::BadPacket, {}});
  } else {
    Queue({Received::Kind::Packet, std::move(payload)});
  }
}

void PacketReader::Queue(Received Item) {
  const bool interrupt = Item.What == Received::Kind::Interrupt;
  const bool interruptWaits = std::any_of(waiting_.begin(), waiting_.end(), [](const Received& R) {
    return R.What == Received::Kind::Interrupt;
  });
  if (waiting_.size() < MaxWaiting || (interrupt && !interruptWaits)) {
    waiting_.push_back(std::move(Item));
  }
}

std::optional<Received> PacketReader::Next() {
  if (waiting_.empty()) {
    return std::nullopt;
  }
  Received next = std::move(waiting_.front());
  waiting_.pop_front();
  return next;
}

bool PacketReader::TakeInterrupt() {
  const auto found = std::find_if(waiting_.begin(), waiting_.end(), [](const Received& R) {
    return R.What == Received::Kind::Interrupt;
  });
  if (found == waiting_.end()) {
    return false;
  }
  waiting_.erase(found);
  return true;
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

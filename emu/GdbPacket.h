// The framing of GDB's remote serial protocol: "$payload#cc" with a two-digit checksum, '}'
// escapes, acknowledgements ('+', '-') and the interrupt byte (0x03) that arrives outside any
// packet. Byte streams in, payloads out, and back; nothing here knows what a payload means.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace emu::gdb {

constexpr char InterruptByte = '\x03';

// "$" Payload "#" checksum, with '$', '#', '}' and '*' escaped.
std::string Frame(std::string_view Payload);

// What a stream of bytes from the client holds, in order.
struct Received {
  enum class Kind { Packet, BadPacket, Interrupt } What;
  std::string Payload; // Packet: unescaped
};

// Collects bytes until they make a packet, one byte at a time as they arrive, so that what a
// client sends costs memory and time in proportion to what is kept: acknowledgements and noise
// between packets are dropped at once, a packet that grows past MaxPacket is dropped (and
// reported as BadPacket), and no more than MaxWaiting received items wait to be taken (further
// packets are dropped; an interrupt is kept, once). A packet whose checksum does not match is
// BadPacket (answered with '-').
class PacketReader {
public:
  static constexpr size_t MaxPacket = 64 * 1024;
  static constexpr size_t MaxWaiting = 64;
  void Feed(std::string_view Bytes);
  std::optional<Received> Next();
  // Takes the first interrupt waiting, if there is one: GDB's Ctrl-C sent in the same write as
  // the packet that resumed the target, or while it runs.
  bool TakeInterrupt();
  // Bytes held of a packet not yet complete.
  size_t Held() const { return body_.size(); }

private:
  enum class State { Between, InPacket, Checksum };
  void Finish();
  void Queue(Received Item);

  State state_ = State::Between;
  std::string body_; // as received, escapes and all
  std::string checksum_;
  std::deque<Received> waiting_;
};

// Two lower-case hex digits per byte, and back; FromHex is false for anything but pairs of
// hex digits.
std::string ToHex(std::span<const uint8_t> Bytes);
std::string ToHex(std::string_view Text);
bool FromHex(std::string_view Hex, std::vector<uint8_t>& Bytes);

} // namespace emu::gdb

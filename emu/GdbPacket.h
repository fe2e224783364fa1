// The framing of GDB's remote serial protocol: "$payload#cc" with a two-digit checksum, '}'
// escapes, acknowledgements ('+', '-') and the interrupt byte (0x03) that arrives outside any
// packet. Byte streams in, payloads out, and back; nothing here knows what a payload means.
#pragma once

#include <cstdint>
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

// Collects bytes until they make a packet. Acknowledgements and noise between packets are
// skipped; a packet whose checksum does not match is BadPacket (answered with '-'). A packet that
// grows past MaxPacket is dropped, so a client cannot make the server hold unbounded memory.
class PacketReader {
public:
  static constexpr size_t MaxPacket = 64 * 1024;
  void Feed(std::string_view Bytes);
  std::optional<Received> Next();

private:
  std::string pending_;
};

// Two lower-case hex digits per byte, and back; FromHex is false for anything but pairs of
// hex digits.
std::string ToHex(std::span<const uint8_t> Bytes);
std::string ToHex(std::string_view Text);
bool FromHex(std::string_view Hex, std::vector<uint8_t>& Bytes);

} // namespace emu::gdb

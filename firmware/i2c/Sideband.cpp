#include "i2c/Sideband.h"
#include "platform/RegisterAccess.h"

namespace {
constexpr uint32_t MessageControl = PciConfigAddress(0, 0, 0, 0xD0);
constexpr uint32_t MessageData = PciConfigAddress(0, 0, 0, 0xD4);
constexpr uint32_t MessageAddressExtension = PciConfigAddress(0, 0, 0, 0xD8);

constexpr uint32_t OpcodeRead = 0x06;
constexpr uint32_t OpcodeWrite = 0x07;
constexpr uint32_t AllByteEnables = 0xF0; // bits 7:4, all four bytes of the register

// Opcode in bits 31:24, port in 23:16, register in 15:8, byte enables in 7:4.
constexpr uint32_t MessageWord(uint32_t Opcode, uint8_t Port, uint8_t Register) {
  return (Opcode << 24) | (static_cast<uint32_t>(Port) << 16) |
         (static_cast<uint32_t>(Register) << 8) | AllByteEnables;
}
static_assert(MessageWord(OpcodeRead, SidebandPortPunit, 7) == 0x060407F0u);
static_assert(MessageWord(OpcodeWrite, SidebandPortPunit, 6) == 0x070406F0u);

// Writing the control word performs the access, so whatever it uses must be in place before.
// Kept out of line: every read of a sideband register starts with these two writes.
__attribute__((noinline)) void SendReadMessage(uint8_t Port, uint8_t Register) {
  MmioWrite32(MessageAddressExtension, 0);
  MmioWrite32(MessageControl, MessageWord(OpcodeRead, Port, Register));
}
} // namespace

uint32_t SidebandRead(uint8_t Port, uint8_t Register) {
  SendReadMessage(Port, Register);
  return MmioRead32(MessageData);
}

uint8_t SidebandReadLowByte(uint8_t Port, uint8_t Register) {
  SendReadMessage(Port, Register);
  return MmioRead8(MessageData);
}

void SidebandWrite(uint8_t Port, uint8_t Register, uint32_t Value) {
  MmioWrite32(MessageAddressExtension, 0);
  MmioWrite32(MessageData, Value);
  MmioWrite32(MessageControl, MessageWord(OpcodeWrite, Port, Register));
}

uint32_t SidebandUpdate(uint8_t Port, uint8_t Register, uint32_t Clear, uint32_t Set) {
  const uint32_t value = SidebandRead(Port, Register);
  if (value != SidebandNoAnswer) {
    SidebandWrite(Port, Register, (value & ~Clear) | Set);
  }
  return value;
}

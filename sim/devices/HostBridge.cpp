#include "sim/devices/HostBridge.h"

namespace sim {

void HostBridge::ConfigWrite(uint32_t Offset, unsigned Width, uint32_t Value) {
  PciFunction::ConfigWrite(Offset, Width, Value);
  if (Offset == MessageControl) {
    Perform(Config.Get32(MessageControl));
  }
}

void HostBridge::Perform(uint32_t Word) {
  ++messages_;
  const uint32_t opcode = Word >> 24;
  const uint8_t port = static_cast<uint8_t>(Word >> 16);
  const uint32_t reg = (Config.Get32(MessageAddressExtension) & 0xFFFFFF00u) | ((Word >> 8) & 0xFF);
  // Byte enables in bits 7:4 select which bytes of the register take part.
  uint32_t lanes = 0;
  for (unsigned byte = 0; byte < 4; ++byte) {
    if (Word & (0x10u << byte)) {
      lanes |= 0xFFu << (8 * byte);
    }
  }
  auto found = endpoints_.find(port);
  if (opcode == OpcodeRead) {
    // Nobody at the port: the read completes with all ones.
    const uint32_t value = found != endpoints_.end() ? found->second->SidebandRead(reg) : ~0u;
    Config.Set32(MessageData, value & lanes);
  } else if (opcode == OpcodeWrite && found != endpoints_.end()) {
    const uint32_t old = lanes == ~0u ? 0 : found->second->SidebandRead(reg);
    found->second->SidebandWrite(reg, (old & ~lanes) | (Config.Get32(MessageData) & lanes));
  }
}

} // namespace sim

// PCI 00:00.0, the host bridge, with the SoC's sideband message registers: writing a message
// word to MessageControl performs a register read or write on the unit at the word's port,
// through MessageData. MessageAddressExtension supplies register address bits 31:8.
#pragma once

#include "sim/devices/PciConfigWindow.h"

#include <map>

namespace sim {

// A unit reachable by sideband messages.
class SidebandEndpoint {
public:
  virtual ~SidebandEndpoint() = default;
  virtual uint32_t SidebandRead(uint32_t Register) = 0;
  virtual void SidebandWrite(uint32_t Register, uint32_t Value) = 0;
};

class HostBridge : public PciFunction {
public:
  static constexpr uint32_t MessageControl = 0xD0;
  static constexpr uint32_t MessageData = 0xD4;
  static constexpr uint32_t MessageAddressExtension = 0xD8;
  static constexpr uint32_t OpcodeRead = 0x06;
  static constexpr uint32_t OpcodeWrite = 0x07;

  HostBridge() { Config.Set32(0x00, 0x0F005AB0); } // identification of the simulated part

  void Attach(uint8_t Port, SidebandEndpoint& Endpoint) { endpoints_[Port] = &Endpoint; }
  void ConfigWrite(uint32_t Offset, unsigned Width, uint32_t Value) override;

  uint64_t Messages() const { return messages_; }

  // Its configuration space and the messages sent so far; the endpoints keep their own.
  struct State {
    RegisterFile Config;
    uint64_t Messages = 0;
  };
  State Saved() const { return {Config, messages_}; }
  void Restore(const State& Saved) {
    Config = Saved.Config;
    messages_ = Saved.Messages;
  }

private:
  void Perform(uint32_t Word);

  std::map<uint8_t, SidebandEndpoint*> endpoints_;
  uint64_t messages_ = 0;
};

} // namespace sim

#include "sim/devices/PmicConverter.h"

namespace sim {

bool PmicConverter::Settle(std::array<uint8_t, 256>& Registers) {
  if (!state_.Running || state_.ReadsLeft != 0 || clock_.NowNs() < state_.ReadyNs) {
    return false;
  }
  if (config_.NeverFinishes) {
    const bool first = !state_.Held;
    state_.Held = true;
    return first;
  }
  state_.Running = false;
  ++state_.Finished;
  const uint16_t reading = config_.Reading & ReadingMask;
  uint8_t& high = Registers[layout_.ResultHigh];
  high = static_cast<uint8_t>((high & ~0x03) | (reading >> 8));
  Registers[layout_.ResultLow] = static_cast<uint8_t>(reading);
  return false;
}

void PmicConverter::Written(uint8_t Value) {
  if ((Value & layout_.StartMask) != layout_.StartValue) {
    return;
  }
  // A start while a conversion runs begins it again.
  state_.Running = true;
  ++state_.Starts;
  state_.ReadsLeft = config_.BusyReads;
  state_.ReadyNs = AddNs(clock_.NowNs(), config_.BusyNs);
}

uint8_t PmicConverter::ReadControl(uint8_t Stored) {
  // Each read made while the conversion still runs finds it busy, as the count promised.
  if (state_.Running && state_.ReadsLeft != 0) {
    --state_.ReadsLeft;
  }
  return state_.Running ? static_cast<uint8_t>(Stored | Busy)
                        : static_cast<uint8_t>(Stored & ~Busy);
}

} // namespace sim

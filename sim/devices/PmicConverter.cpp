#include "sim/devices/PmicConverter.h"

namespace sim {

void PmicConverter::Settle(std::array<uint8_t, 256>& Registers) {
  if (!running_ || config_.NeverFinishes || readsLeft_ != 0 || clock_.NowNs() < readyNs_) {
    return;
  }
  running_ = false;
  const uint16_t reading = config_.Reading & ReadingMask;
  uint8_t& high = Registers[layout_.ResultHigh];
  high = static_cast<uint8_t>((high & ~0x03) | (reading >> 8));
  Registers[layout_.ResultLow] = static_cast<uint8_t>(reading);
}

void PmicConverter::Written(uint8_t Value) {
  if ((Value & layout_.StartMask) != layout_.StartValue) {
    return;
  }
  // A start while a conversion runs begins it again.
  running_ = true;
  readsLeft_ = config_.BusyReads;
  readyNs_ = AddNs(clock_.NowNs(), config_.BusyNs);
}

uint8_t PmicConverter::ReadControl(uint8_t Stored) {
  // Each read made while the conversion still runs finds it busy, as the count promised.
  if (running_ && readsLeft_ != 0) {
    --readsLeft_;
  }
  return running_ ? static_cast<uint8_t>(Stored | Busy) : static_cast<uint8_t>(Stored & ~Busy);
}

} // namespace sim

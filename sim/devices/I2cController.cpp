#include "sim/devices/I2cController.h"

#include <algorithm>

namespace sim {

using namespace i2creg;

namespace {
constexpr uint32_t ControllerWindowSize = 0x1000;
constexpr uint64_t BitsPerByte = 9; // eight data bits and the acknowledge
constexpr uint32_t EnableBit = 1u << 0;
} // namespace

I2cController::I2cController(const Clock& C, const I2cControllerConfig& Config)
    : clock_(C), config_(Config), regs_(ControllerWindowSize) {}

void I2cController::Attach(uint16_t Address, bool TenBit, I2cTarget& Target) {
  targets_[(Address & TargetAddressMask) | (TenBit ? TargetTenBit : 0)] = &Target;
}

uint64_t I2cController::BitNs() const {
  return config_.BusHz == 0 ? 0 : 1'000'000'000ull / config_.BusHz;
}

void I2cController::UpdateEnable(uint64_t NowNs) {
  if (!enablePending_ || enableReadsLeft_ != 0 || NowNs < enableReadyNs_) {
    return;
  }
  enablePending_ = false;
  if (requested_ && config_.NeverEnables) {
    return;
  }
  enabled_ = requested_;
  if (!enabled_) {
    // Switching off drops whatever was queued or received and lets go of the bus.
    transmit_.clear();
    receive_.clear();
    EndTransaction();
  }
}

void I2cController::CatchUp(uint64_t NowNs, bool IgnoreTime) {
  UpdateEnable(NowNs);
  const uint64_t byteNs = BitsPerByte * BitNs();
  // Each command is an optional address phase, then its byte; each step ends at its own time,
  // so a refused address shows one byte time in, before the command's byte would have moved.
  while (enabled_ && !config_.Stalled && !transmit_.empty() &&
         (config_.StallFromByte == 0 || bytes_ + 1 < config_.StallFromByte)) {
    Command& command = transmit_.front();
    const uint64_t start = std::max(busFreeNs_, command.QueuedNs);
    if (NeedsAddressPhase(command)) {
      const uint64_t end = AddNs(start, ((command.Target & TargetTenBit) ? 2 : 1) * byteNs);
      if (!IgnoreTime && end > NowNs) {
        return;
      }
      busFreeNs_ = end;
      AddressPhase(command);
      continue;
    }
    const uint64_t end = AddNs(start, byteNs);
    if (!IgnoreTime && end > NowNs) {
      return;
    }
    busFreeNs_ = end;
    const Command done = command;
    transmit_.pop_front();
    MoveByte(done);
  }
}

bool I2cController::NeedsAddressPhase(const Command& C) const {
  const bool read = (C.Word & CommandRead) != 0;
  return !C.Addressed &&
         (!open_ || (C.Word & CommandRestart) != 0 || read != openRead_ || C.Target != openTarget_);
}

void I2cController::AddressPhase(Command& C) {
  const bool read = (C.Word & CommandRead) != 0;
  if (open_ && current_ != nullptr && C.Target != openTarget_) {
    current_->Stop();
  }
  auto found = targets_.find(C.Target);
  current_ = found != targets_.end() ? found->second : nullptr;
  open_ = true;
  openRead_ = read;
  openTarget_ = C.Target;
  C.Addressed = true;
  if (current_ == nullptr || !current_->AddressPhase(read)) {
    Abort((C.Target & TargetTenBit) ? AbortTenBitAddressNack : AbortAddressNack);
  }
}

void I2cController::MoveByte(const Command& C) {
  ++bytes_;
  if (config_.AbortOnByte != 0 && bytes_ == config_.AbortOnByte) {
    Abort(AbortDataNack);
    return;
  }
  if (C.Word & CommandRead) {
    const uint8_t value = current_->ReadByte();
    if (receive_.size() < config_.ReceiveFifoDepth) {
      receive_.push_back(value);
    }
  } else if (!current_->WriteByte(static_cast<uint8_t>(C.Word))) {
    Abort(AbortDataNack);
    return;
  }
  if (C.Word & CommandStop) {
    EndTransaction();
  }
}

void I2cController::Abort(uint32_t Source) {
  abortSource_ |= Source;
  transmit_.clear();
  EndTransaction();
}

void I2cController::EndTransaction() {
  if (open_ && current_ != nullptr) {
    current_->Stop();
  }
  open_ = false;
  current_ = nullptr;
}

void I2cController::Drain() {
  CatchUp(clock_.NowNs(), true);
}

bool I2cController::EnabledNow() {
  CatchUp(clock_.NowNs());
  return enabled_;
}

bool I2cController::AbortPending() {
  CatchUp(clock_.NowNs());
  return abortSource_ != 0;
}

size_t I2cController::TransmitFifoLevel() {
  CatchUp(clock_.NowNs());
  return transmit_.size();
}

size_t I2cController::ReceiveFifoLevel() {
  CatchUp(clock_.NowNs());
  return receive_.size();
}

uint64_t I2cController::BytesOnBus() {
  CatchUp(clock_.NowNs());
  return bytes_;
}

uint32_t I2cController::StatusValue() const {
  const bool active = config_.StaysActive || open_ || !transmit_.empty();
  uint32_t status = 0;
  status |= active ? StatusActivity | StatusActive : 0;
  status |= transmit_.size() < config_.TransmitFifoDepth ? StatusTransmitNotFull : 0;
  status |= transmit_.empty() ? StatusTransmitEmpty : 0;
  status |= !receive_.empty() ? StatusReceiveNotEmpty : 0;
  status |= receive_.size() >= config_.ReceiveFifoDepth ? StatusReceiveFull : 0;
  return status;
}

uint32_t I2cController::Read(uint32_t Offset, unsigned Width) {
  CatchUp(clock_.NowNs());
  // Each EnableStatus read made while a change is still on its way shows the old state.
  if (Offset == EnableStatus && enablePending_ && enableReadsLeft_ != 0) {
    --enableReadsLeft_;
  }
  switch (Offset) {
  case DataCommand: {
    if (receive_.empty()) {
      return 0;
    }
    const uint8_t value = receive_.front();
    receive_.pop_front();
    return value;
  }
  case RawInterruptStatus:
    return abortSource_ != 0 ? RawTransmitAbort : 0;
  case ClearTransmitAbort: {
    // Reading clears the abort; the value says whether there was one.
    const uint32_t was = abortSource_ != 0 ? 1 : 0;
    abortSource_ = 0;
    return was;
  }
  case TransmitAbortSource:
    return abortSource_;
  case Status:
    return StatusValue();
  case i2creg::TransmitFifoLevel:
    return static_cast<uint32_t>(transmit_.size());
  case i2creg::ReceiveFifoLevel:
    return static_cast<uint32_t>(receive_.size());
  case EnableStatus:
    return enabled_ ? EnableBit : 0;
  default:
    return regs_.Get(Offset, Width);
  }
}

void I2cController::Write(uint32_t Offset, unsigned Width, uint32_t Value) {
  const uint64_t now = clock_.NowNs();
  CatchUp(now);
  switch (Offset) {
  case DataCommand:
    // A disabled controller or one that holds an abort takes no commands.
    if (enabled_ && abortSource_ == 0 && transmit_.size() < config_.TransmitFifoDepth) {
      const uint32_t target = regs_.Get32(TargetAddress) & (TargetTenBit | TargetAddressMask);
      transmit_.push_back(Command{Value & 0x7FF, target, now, false});
    }
    return;
  case Enable:
    regs_.Set(Offset, Width, Value);
    requested_ = (Value & EnableBit) != 0;
    enablePending_ = true;
    enableReadsLeft_ = config_.EnableLatencyReads;
    enableReadyNs_ = AddNs(now, config_.EnableLatencyNs);
    CatchUp(now);
    return;
  default:
    regs_.Set(Offset, Width, Value);
  }
}

} // namespace sim

#include "sim/devices/I2cController.h"

#include <algorithm>

namespace sim {

using namespace i2creg;

namespace {
constexpr uint64_t BitsPerByte = 9; // eight data bits and the acknowledge
constexpr uint32_t EnableBit = 1u << 0;
} // namespace

I2cController::I2cController(const Clock& C, const I2cControllerConfig& Config, StrikeLog* Strikes)
    : clock_(C), strikes_(Strikes), config_(Config), byteNs_(BitsPerByte * BitNs()) {
  state_.Transmit = FixedRing<Command>(config_.TransmitFifoDepth);
  state_.Receive = FixedRing<uint8_t>(config_.ReceiveFifoDepth);
}

void I2cController::Attach(uint16_t Address, bool TenBit, I2cTarget& Target) {
  targets_[(Address & TargetAddressMask) | (TenBit ? TargetTenBit : 0)] = &Target;
}

uint64_t I2cController::BitNs() const {
  return config_.BusHz == 0 ? 0 : 1'000'000'000ull / config_.BusHz;
}

void I2cController::UpdateEnable(uint64_t NowNs) {
  if (!state_.EnablePending || state_.EnableReadsLeft != 0 || NowNs < state_.EnableReadyNs) {
    return;
  }
  state_.EnablePending = false;
  if (state_.Requested && config_.NeverEnables) {
    Struck({FaultKind::ControllerNeverEnables}, NowNs);
    return;
  }
  state_.Enabled = state_.Requested;
  if (!state_.Enabled) {
    // Switching off drops whatever was queued or received and lets go of the bus.
    state_.Transmit.Clear();
    state_.Receive.Clear();
    EndTransaction();
  }
}

void I2cController::MoveBus(uint64_t NowNs, bool IgnoreTime) {
  UpdateEnable(NowNs);
  // Each command is an optional address phase, then its byte; each step ends at its own time,
  // so a refused address shows one byte time in, before the command's byte would have moved.
  while (BusCanMove()) {
    Command& command = state_.Transmit.Front();
    const uint64_t start = std::max(state_.BusFreeNs, command.QueuedNs);
    if (NeedsAddressPhase(command)) {
      const uint64_t end = AddNs(start, ((command.Target & TargetTenBit) ? 2 : 1) * byteNs_);
      if (!IgnoreTime && end > NowNs) {
        return;
      }
      state_.BusFreeNs = end;
      const StrikeLog::BusStep step(strikes_, end);
      AddressPhase(command);
      continue;
    }
    const uint64_t end = AddNs(start, byteNs_);
    if (!IgnoreTime && end > NowNs) {
      return;
    }
    state_.BusFreeNs = end;
    const Command done = command;
    state_.Transmit.Pop();
    const StrikeLog::BusStep step(strikes_, end);
    MoveByte(done);
  }
  if (!state_.StallNoted && state_.Enabled && !state_.Transmit.Empty()) {
    NoteStall(NowNs, IgnoreTime); // a stall holds the bus: noted once it holds a byte back
  }
}

void I2cController::NoteActive() {
  if (!state_.Open && state_.Transmit.Empty()) {
    Struck({FaultKind::ControllerStaysActive}, clock_.NowNs());
    state_.ActiveNoted = true;
  }
}

void I2cController::NoteSeen() {
  state_.MovedUnseen = false;
  state_.BytesSeen = state_.Bytes;
  for (const auto& [address, target] : targets_) {
    target->Seen();
  }
}

void I2cController::NoteStall(uint64_t NowNs, bool IgnoreTime) {
  if (strikes_ == nullptr) {
    state_.StallNoted = true;
    return;
  }
  const Command& held = state_.Transmit.Front();
  const uint64_t start = std::max(state_.BusFreeNs, held.QueuedNs);
  const uint64_t step =
      NeedsAddressPhase(held) ? ((held.Target & TargetTenBit) ? 2 : 1) * byteNs_ : byteNs_;
  if (const uint64_t end = AddNs(start, step); IgnoreTime || end <= NowNs) {
    // A whole stalled bus (no byte ever moves) is the stall from the first byte.
    strikes_->Mark({FaultKind::BusStalled, 0, config_.Stalled ? 1 : config_.StallFromByte}, end);
    state_.StallNoted = true;
  }
}

bool I2cController::NeedsAddressPhase(const Command& C) const {
  const bool read = (C.Word & CommandRead) != 0;
  return !C.Addressed && (!state_.Open || (C.Word & CommandRestart) != 0 ||
                          read != state_.OpenRead || C.Target != state_.OpenTarget);
}

I2cTarget* I2cController::Current() const {
  if (!state_.Open) {
    return nullptr;
  }
  const auto found = targets_.find(state_.OpenTarget);
  return found != targets_.end() ? found->second : nullptr;
}

void I2cController::AddressPhase(Command& C) {
  const bool read = (C.Word & CommandRead) != 0;
  if (I2cTarget* previous = Current(); previous != nullptr && C.Target != state_.OpenTarget) {
    previous->Stop();
  }
  state_.MovedUnseen = true;
  state_.Open = true;
  state_.OpenRead = read;
  state_.OpenTarget = C.Target;
  C.Addressed = true;
  I2cTarget* current = Current();
  if (current == nullptr || !current->AddressPhase(read)) {
    Abort((C.Target & TargetTenBit) ? AbortTenBitAddressNack : AbortAddressNack);
  }
}

void I2cController::MoveByte(const Command& C) {
  ++state_.Bytes;
  state_.MovedUnseen = true;
  if (std::find(config_.AbortOnBytes.begin(), config_.AbortOnBytes.end(), state_.Bytes) !=
      config_.AbortOnBytes.end()) {
    Struck({FaultKind::ByteRefused, 0, static_cast<uint32_t>(state_.Bytes)}, state_.BusFreeNs);
    Abort(AbortDataNack);
    return;
  }
  I2cTarget* current = Current();
  if (C.Word & CommandRead) {
    const uint8_t value = current->ReadByte();
    if (state_.Receive.Size() < config_.ReceiveFifoDepth) {
      state_.Receive.Push(value);
    }
  } else if (!current->WriteByte(static_cast<uint8_t>(C.Word))) {
    Abort(AbortDataNack);
    return;
  }
  if (C.Word & CommandStop) {
    EndTransaction();
  }
}

void I2cController::Abort(uint32_t Source) {
  state_.AbortSource |= Source;
  state_.Transmit.Clear();
  EndTransaction();
}

void I2cController::EndTransaction() {
  if (I2cTarget* current = Current()) {
    current->Stop();
  }
  state_.Open = false;
}

void I2cController::Drain() {
  CatchUp(clock_.NowNs(), true);
}

bool I2cController::EnabledNow() {
  CatchUp(clock_.NowNs());
  return state_.Enabled;
}

bool I2cController::AbortPending() {
  CatchUp(clock_.NowNs());
  return state_.AbortSource != 0;
}

size_t I2cController::TransmitFifoLevel() {
  CatchUp(clock_.NowNs());
  return state_.Transmit.Size();
}

size_t I2cController::ReceiveFifoLevel() {
  CatchUp(clock_.NowNs());
  return state_.Receive.Size();
}

uint64_t I2cController::BytesOnBus() {
  CatchUp(clock_.NowNs());
  return state_.Bytes;
}

uint32_t I2cController::StatusValue() const {
  // Each FIFO's size asked once: a wait polls this register.
  const size_t transmit = state_.Transmit.Size();
  const size_t receive = state_.Receive.Size();
  const bool active = config_.StaysActive || state_.Open || transmit != 0;
  uint32_t status = 0;
  status |= active ? StatusActivity | StatusActive : 0;
  status |= transmit < config_.TransmitFifoDepth ? StatusTransmitNotFull : 0;
  status |= transmit == 0 ? StatusTransmitEmpty : 0;
  status |= receive != 0 ? StatusReceiveNotEmpty : 0;
  status |= receive >= config_.ReceiveFifoDepth ? StatusReceiveFull : 0;
  return status;
}

uint32_t I2cController::Read(uint32_t Offset, unsigned Width) {
  CatchUp(clock_.NowNs());
  // What the bus has done so far is what a read can show.
  if (state_.MovedUnseen) [[unlikely]] {
    NoteSeen();
  }
  // Each EnableStatus read made while a change is still on its way shows the old state.
  if (Offset == EnableStatus && state_.EnablePending && state_.EnableReadsLeft != 0) {
    --state_.EnableReadsLeft;
  }
  switch (Offset) {
  case DataCommand: {
    if (state_.Receive.Empty()) {
      return 0;
    }
    const uint8_t value = state_.Receive.Front();
    state_.Receive.Pop();
    return value;
  }
  case RawInterruptStatus:
    return state_.AbortSource != 0 ? RawTransmitAbort : 0;
  case ClearTransmitAbort: {
    // Reading clears the abort; the value says whether there was one.
    const uint32_t was = state_.AbortSource != 0 ? 1 : 0;
    state_.AbortSource = 0;
    return was;
  }
  case TransmitAbortSource:
    return state_.AbortSource;
  case Status:
    if (config_.StaysActive && !state_.ActiveNoted) [[unlikely]] {
      NoteActive();
    }
    return StatusValue();
  case i2creg::TransmitFifoLevel:
    return static_cast<uint32_t>(state_.Transmit.Size());
  case i2creg::ReceiveFifoLevel:
    return static_cast<uint32_t>(state_.Receive.Size());
  case EnableStatus:
    return state_.Enabled ? EnableBit : 0;
  default:
    return state_.Registers.Get(Offset, Width);
  }
}

void I2cController::Write(uint32_t Offset, unsigned Width, uint32_t Value) {
  const uint64_t now = clock_.NowNs();
  CatchUp(now);
  switch (Offset) {
  case DataCommand:
    // A disabled controller or one that holds an abort takes no commands.
    if (state_.Enabled && state_.AbortSource == 0 &&
        state_.Transmit.Size() < config_.TransmitFifoDepth) {
      const uint32_t target =
          state_.Registers.Get32(TargetAddress) & (TargetTenBit | TargetAddressMask);
      state_.Transmit.Push(Command{Value & 0x7FF, target, now, false});
    }
    return;
  case Enable:
    state_.Registers.Set(Offset, Width, Value);
    state_.Requested = (Value & EnableBit) != 0;
    state_.EnablePending = true;
    state_.EnableReadsLeft = config_.EnableLatencyReads;
    state_.EnableReadyNs = AddNs(now, config_.EnableLatencyNs);
    CatchUp(now);
    return;
  default:
    state_.Registers.Set(Offset, Width, Value);
  }
}

} // namespace sim

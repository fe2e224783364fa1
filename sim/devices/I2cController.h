// The PMIC bus controller's registers and the bus behind them. Bytes move in virtual time: each
// one takes nine bit times of the configured bus clock (22.5 us at 400 kHz), and an address
// phase takes as long as one byte (two for a 10-bit address); a refused address shows at the end
// of its phase. The model catches up with the clock whenever the module touches a register, so
// what the module sees depends only on when it looks.
//
// Commands written to DataCommand queue in the transmit FIFO with the target address in force
// at the time; the bus takes them in order. A command with the restart bit, a change of direction
// or of target starts a new address phase; a command with the stop bit ends the transaction.
// When the FIFO runs empty without a stop the controller holds the bus and stays active. A
// missing acknowledge aborts the transaction: the FIFO is flushed, RawInterruptStatus bit 6 is
// set and further commands are dropped until ClearTransmitAbort is read.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Clock.h"
#include "sim/Device.h"
#include "sim/FixedRing.h"
#include "sim/RegisterFile.h"
#include "sim/devices/I2cTarget.h"
#include "sim/faults/Strikes.h"

#include <map>

namespace sim {

namespace i2creg {
constexpr uint32_t WindowSize = 0x1000;
constexpr uint32_t Control = 0x00;
constexpr uint32_t TargetAddress = 0x04;
constexpr uint32_t DataCommand = 0x10;
constexpr uint32_t InterruptMask = 0x30;
constexpr uint32_t RawInterruptStatus = 0x34;
constexpr uint32_t ClearTransmitAbort = 0x54;
constexpr uint32_t Enable = 0x6C;
constexpr uint32_t Status = 0x70;
constexpr uint32_t TransmitFifoLevel = 0x74;
constexpr uint32_t ReceiveFifoLevel = 0x78;
constexpr uint32_t TransmitAbortSource = 0x80;
constexpr uint32_t EnableStatus = 0x9C;

constexpr uint32_t StatusActivity = 1u << 0;
constexpr uint32_t StatusTransmitNotFull = 1u << 1;
constexpr uint32_t StatusTransmitEmpty = 1u << 2;
constexpr uint32_t StatusReceiveNotEmpty = 1u << 3;
constexpr uint32_t StatusReceiveFull = 1u << 4;
constexpr uint32_t StatusActive = 1u << 5;

constexpr uint32_t RawTransmitAbort = 1u << 6;

constexpr uint32_t AbortAddressNack = 1u << 0;
constexpr uint32_t AbortTenBitAddressNack = 1u << 1;
constexpr uint32_t AbortDataNack = 1u << 3;

constexpr uint32_t CommandRead = 1u << 8;
constexpr uint32_t CommandStop = 1u << 9;
constexpr uint32_t CommandRestart = 1u << 10;

constexpr uint32_t TargetTenBit = 1u << 12;
constexpr uint32_t TargetAddressMask = 0x3FF;
} // namespace i2creg

class I2cController : public Device {
public:
  struct Command {
    uint32_t Word;
    uint32_t Target; // TargetAddress bits 12 and 9:0 when the command was queued
    uint64_t QueuedNs;
    bool Addressed; // its address phase is done
  };
  // Everything the controller and its bus are doing; the devices on the bus keep their own.
  struct State {
    RegisterFile Registers{i2creg::WindowSize};
    bool Requested = false; // Enable bit 0 as last written
    bool Enabled = false;   // EnableStatus bit 0
    bool EnablePending = false;
    uint32_t EnableReadsLeft = 0;
    uint64_t EnableReadyNs = 0;
    FixedRing<Command> Transmit; // as deep as the board's FIFOs
    FixedRing<uint8_t> Receive;
    uint32_t AbortSource = 0;
    bool Open = false; // a transaction holds the bus
    bool OpenRead = false;
    uint32_t OpenTarget = 0;
    uint64_t BusFreeNs = 0;
    uint64_t Bytes = 0;
    // As of the module's last read of a register: what it could have seen of the bus (the bus
    // moved since when MovedUnseen).
    uint64_t BytesSeen = 0;
    bool MovedUnseen = false;
    // A fault that holds on once it struck is noted once: a wait polls the controller millions of
    // times.
    bool StallNoted = false;
    bool ActiveNoted = false;
  };

  // Strikes: where its faults (and its devices') are noted; none in a test that does not ask.
  I2cController(const Clock& C, const I2cControllerConfig& Config, StrikeLog* Strikes = nullptr);

  std::string_view Name() const override { return "i2c-controller"; }
  uint32_t Read(uint32_t Offset, unsigned Width) override;
  void Write(uint32_t Offset, unsigned Width, uint32_t Value) override;

  // Puts a device on the bus at a 7-bit address, or at a 10-bit one.
  void Attach(uint16_t Address, bool TenBit, I2cTarget& Target);

  // Lets the bus finish whatever is queued, as if enough time had passed; for looking at the
  // devices after a run whose last byte was still on its way.
  void Drain();
  // Lets the bus do what it had time for by now: at the end of a run, what the module left queued
  // moves (and a fault it meets strikes) as it would have, where the module no longer looks.
  void CatchUpToNow() { CatchUp(clock_.NowNs()); }

  // State as of the current time: the bus catches up first, as it would for the next access.
  uint32_t Peek(uint32_t Offset) const { return state_.Registers.Get32(Offset); }
  bool EnabledNow();
  bool AbortPending();
  size_t TransmitFifoLevel();
  size_t ReceiveFifoLevel();
  uint64_t BytesOnBus();

  const State& Saved() const { return state_; }
  void Restore(const State& Saved) { state_ = Saved; }

private:
  // Nothing can be due while no change of enable is on its way and no byte can move: a wait
  // polling the status of a stalled or idle bus reads it millions of times.
  // Nor while a stall holds the bus, once that has been noted.
  void CatchUp(uint64_t NowNs, bool IgnoreTime = false) {
    if (state_.EnablePending ||
        (state_.Enabled && !state_.Transmit.Empty() && (!state_.StallNoted || BusCanMove()))) {
      MoveBus(NowNs, IgnoreTime);
    }
  }
  // The bus stopped before a queued command's first step (its address phase, or its byte) could
  // end: that is where the stall strikes, the first time the module could see the difference.
  void NoteStall(uint64_t NowNs, bool IgnoreTime);
  // A read after the bus moved: what it moved may show from here. Out of the way of the reads a
  // wait makes, as is the next.
  [[gnu::noinline, gnu::cold]] void NoteSeen();
  // A status read that shows activity a sound controller would not.
  [[gnu::noinline, gnu::cold]] void NoteActive();
  // Bus events are worked out when the module next touches the controller: each is noted at the
  // bus time it happened.
  void Struck(const FaultPoint& Fault, uint64_t AtNs) {
    if (strikes_ != nullptr) {
      strikes_->Mark(Fault, AtNs);
    }
  }
  void MoveBus(uint64_t NowNs, bool IgnoreTime);
  // A command is queued and neither a disabled controller nor a stall holds it back.
  bool BusCanMove() const {
    return state_.Enabled && !config_.Stalled && !state_.Transmit.Empty() &&
           (config_.StallFromByte == 0 || state_.Bytes + 1 < config_.StallFromByte);
  }
  void UpdateEnable(uint64_t NowNs);
  bool NeedsAddressPhase(const Command& C) const;
  void AddressPhase(Command& C);
  void MoveByte(const Command& C);
  void Abort(uint32_t Source);
  void EndTransaction();
  // The device holding the bus: null while no transaction is open or nobody answered its address.
  I2cTarget* Current() const;
  uint32_t StatusValue() const;
  uint64_t BitNs() const;

  const Clock& clock_;
  StrikeLog* strikes_;
  I2cControllerConfig config_;
  uint64_t byteNs_; // a byte's time on the bus, fixed by the configured bus clock
  std::map<uint32_t, I2cTarget*> targets_; // by TargetAddress value (bit 12 and bits 9:0)
  State state_;
};

} // namespace sim

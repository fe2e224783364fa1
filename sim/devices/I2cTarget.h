// A device on the simulated I2C bus, as the controller model drives it: one call per address
// phase (start or repeated start), per byte and per stop.
#pragma once

#include "sim/faults/Strikes.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace sim {

// A converter's run: whether one is on, the busy reads it still owes and when it ends.
struct ConversionState {
  bool Running = false;
  uint32_t ReadsLeft = 0;
  uint64_t ReadyNs = 0;
  uint32_t Starts = 0;   // conversions started so far
  uint32_t Finished = 0; // of those, the ones seen to end: the device was accessed after them
  bool Held = false;     // one held running past its end by the fault, noted once
};

// What a device on the bus holds, in one shape for every model so that a board's devices save
// into one list: the register pointer and the transfers so far, the registers and, for a PMIC,
// its converter's run and the writes it has refused.
struct I2cTargetState {
  uint8_t Index = 0;
  bool IndexNext = false;
  uint32_t Transfers = 0;
  uint32_t TransfersSeen = 0; // as of the module's last read of the controller
  std::array<uint8_t, 256> Registers{};
  ConversionState Conversion;
  uint32_t Refused = 0;
  uint32_t CheckedWrites = 0; // writes of the value a refusing register may refuse
};

class I2cTarget {
public:
  virtual ~I2cTarget() = default;
  virtual std::string_view Name() const = 0;
  virtual I2cTargetState Saved() const = 0;
  virtual void Restore(const I2cTargetState& Saved) = 0;
  // A start or repeated start with this device's address; false leaves it unacknowledged.
  virtual bool AddressPhase(bool Read) = 0;
  // A byte from the controller; false leaves it unacknowledged.
  virtual bool WriteByte(uint8_t Value) = 0;
  // A byte the controller reads.
  virtual uint8_t ReadByte() = 0;
  // Stop condition, or the controller gave the transfer up.
  virtual void Stop() = 0;
  // The module read a controller register: whatever the device did so far could show.
  virtual void Seen() {}
};

// Register-pointer devices, the kind PMICs are: the first byte written after an address phase
// is the register index, every further byte written goes to the indexed register, and reads
// return the indexed register. The index moves on by one after every data byte, read or
// written, and wraps at 256, so longer transfers walk through consecutive registers.
class I2cRegisterDevice : public I2cTarget {
public:
  bool AddressPhase(bool Read) override {
    indexNext_ = !Read;
    ++transfers_;
    // A device that never answers stopped answering at its first transfer.
    const uint32_t stops = neverAcknowledges_ ? 1 : stopsFrom_;
    if (stops != 0 && transfers_ >= stops) {
      if (strikes_ != nullptr) {
        strikes_->Mark({FaultKind::DeviceStopsAcknowledging, address_, stops});
      }
      return false;
    }
    return transfers_ > missesFirst_;
  }
  bool WriteByte(uint8_t Value) override {
    if (indexNext_) {
      index_ = Value;
      indexNext_ = false;
    } else {
      WriteRegister(index_++, Value);
    }
    return true;
  }
  uint8_t ReadByte() override { return ReadRegister(index_++); }
  void Stop() override { indexNext_ = false; }

  // Fault: the device is fitted but answers no address phase.
  void SetNeverAcknowledges(bool Never) { neverAcknowledges_ = Never; }
  // Fault: from its Nth address phase on (counting from 1) the device answers none; 0: never.
  void SetStopsAcknowledgingFrom(uint32_t Transfer) { stopsFrom_ = Transfer; }
  // Its first Count address phases go unanswered, later ones are answered.
  void SetMissesFirstTransfers(uint32_t Count) { missesFirst_ = Count; }
  // Where its faults are noted, and the 7-bit address they name it by.
  void NoteStrikes(StrikeLog& Log, uint16_t Address) {
    strikes_ = &Log;
    address_ = Address;
  }
  uint8_t Index() const { return index_; }
  // Address phases addressed to the device so far, acknowledged or not.
  uint32_t Transfers() const { return transfers_; }
  // Of those, the ones the module could have seen: made before its last read of the controller.
  uint32_t TransfersSeen() const { return transfersSeen_; }
  void Seen() override { transfersSeen_ = transfers_; }

  I2cTargetState Saved() const override {
    I2cTargetState state;
    state.Index = index_;
    state.IndexNext = indexNext_;
    state.Transfers = transfers_;
    state.TransfersSeen = transfersSeen_;
    SaveRegisters(state);
    return state;
  }
  void Restore(const I2cTargetState& Saved) override {
    index_ = Saved.Index;
    indexNext_ = Saved.IndexNext;
    transfers_ = Saved.Transfers;
    transfersSeen_ = Saved.TransfersSeen;
    RestoreRegisters(Saved);
  }

protected:
  void Struck(const FaultPoint& Fault) {
    if (strikes_ != nullptr) {
      strikes_->Mark(Fault);
    }
  }
  uint16_t Address() const { return address_; }
  virtual uint8_t ReadRegister(uint8_t Register) = 0;
  virtual void WriteRegister(uint8_t Register, uint8_t Value) = 0;
  // What the model holds beyond the register pointer.
  virtual void SaveRegisters(I2cTargetState& State) const = 0;
  virtual void RestoreRegisters(const I2cTargetState& State) = 0;

private:
  uint8_t index_ = 0;
  bool indexNext_ = false;
  bool neverAcknowledges_ = false;
  uint32_t transfers_ = 0;
  uint32_t transfersSeen_ = 0;
  uint32_t stopsFrom_ = 0;
  uint32_t missesFirst_ = 0;
  StrikeLog* strikes_ = nullptr;
  uint16_t address_ = 0;
};

// 256 plain registers: reads give back what was written.
class I2cRegisterFileDevice : public I2cRegisterDevice {
public:
  std::string_view Name() const override { return "i2c-register-file"; }
  uint8_t Peek(uint8_t Register) const { return regs_[Register]; }
  void Poke(uint8_t Register, uint8_t Value) { regs_[Register] = Value; }

protected:
  uint8_t ReadRegister(uint8_t Register) override { return regs_[Register]; }
  void WriteRegister(uint8_t Register, uint8_t Value) override { regs_[Register] = Value; }
  void SaveRegisters(I2cTargetState& State) const override { State.Registers = regs_; }
  void RestoreRegisters(const I2cTargetState& State) override { regs_ = State.Registers; }

private:
  std::array<uint8_t, 256> regs_{};
};

} // namespace sim

#include "sim/devices/PmicRegisterDevice.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {
bool Lists(std::span<const uint8_t> Registers, uint8_t Register) {
  return std::find(Registers.begin(), Registers.end(), Register) != Registers.end();
}
} // namespace

PmicRegisterDevice::PmicRegisterDevice(const PmicLayout& Layout, const Clock* C) : layout_(Layout) {
  for (const I2cRegisterValue& reg : layout_.Reset) {
    regs_[reg.Register] = reg.Value;
  }
  if (layout_.Converter) {
    if (C == nullptr) {
      throw std::logic_error(std::string(layout_.Name) + " converts and needs a clock");
    }
    converter_.emplace(*layout_.Converter, *C);
  }
}

void PmicRegisterDevice::Fit(const I2cDeviceConfig& Config) {
  for (const I2cRegisterValue& reg : Config.Registers) {
    Preset(reg.Register, reg.Value);
  }
  if (converter_) {
    converter_->Configure(Config.Conversion);
  }
  refusedWrites_ = Config.RefusedWrites;
  refusesEvery_ = Config.RefusesEveryWrite;
  SetNeverAcknowledges(Config.NeverAcknowledges);
  SetStopsAcknowledgingFrom(Config.StopsAcknowledgingFrom);
  SetMissesFirstTransfers(Config.MissesFirstTransfers);
}

uint8_t PmicRegisterDevice::ReadRegister(uint8_t Register) {
  if (converter_) {
    Settle();
    if (Register == converter_->Layout().Control) {
      return converter_->ReadControl(regs_[Register]);
    }
  }
  return regs_[Register];
}

void PmicRegisterDevice::WriteRegister(uint8_t Register, uint8_t Value) {
  Settle();
  if (Lists(layout_.ReadOnly, Register)) {
    return;
  }
  if (Lists(layout_.WriteOneToClear, Register)) {
    regs_[Register] &= static_cast<uint8_t>(~Value);
    return;
  }
  if (layout_.Refusing && Register == layout_.Refusing->Register &&
      Value == layout_.Refusing->Value) {
    ++checkedWrites_;
    if (refused_ < refusedWrites_ || refusesEvery_) {
      if (refused_ >= refusedWrites_) { // one the board alone would have taken
        Struck({FaultKind::VerifiedWriteNeverTakes, Address()});
      }
      ++refused_;
      return;
    }
  }
  regs_[Register] = Value;
  if (converter_ && Register == converter_->Layout().Control) {
    converter_->Written(Value);
  }
}

void PmicRegisterDevice::SaveRegisters(I2cTargetState& State) const {
  State.Registers = regs_;
  State.Conversion = converter_ ? converter_->Saved() : ConversionState{};
  State.Refused = refused_;
  State.CheckedWrites = checkedWrites_;
}

void PmicRegisterDevice::RestoreRegisters(const I2cTargetState& State) {
  regs_ = State.Registers;
  if (converter_) {
    converter_->Restore(State.Conversion);
  }
  refused_ = State.Refused;
  checkedWrites_ = State.CheckedWrites;
}

} // namespace sim

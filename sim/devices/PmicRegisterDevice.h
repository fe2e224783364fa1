// The PMICs on the bus are register-pointer devices that differ only in a few registers: some
// ignore writes (identification and revision, set only by the board), some hold pending
// conditions that a written one acknowledges, one may start conversions, and one may refuse a
// particular value for a while (a write the firmware checks by reading it back). A PmicLayout
// names those registers; every other register is plain storage. Each model is one layout.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Clock.h"
#include "sim/devices/I2cTarget.h"
#include "sim/devices/PmicConverter.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace sim {

// A register whose writes of Value do not take while the board's count of refusals lasts; the
// register keeps what it held. Writes of other values take and are not counted.
struct PmicRefusingRegister {
  uint8_t Register;
  uint8_t Value;
};

struct PmicLayout {
  std::string_view Name; // the model's name in a board description
  uint16_t DefaultAddress;
  std::span<const I2cRegisterValue> Reset; // contents out of reset; other registers read 0
  std::span<const uint8_t> ReadOnly;
  std::span<const uint8_t> WriteOneToClear;
  std::optional<PmicConverterLayout> Converter;
  std::optional<PmicRefusingRegister> Refusing;
};

class PmicRegisterDevice : public I2cRegisterDevice {
public:
  // The clock times conversions; a layout without a converter needs none.
  explicit PmicRegisterDevice(const PmicLayout& Layout, const Clock* C = nullptr);

  std::string_view Name() const override { return layout_.Name; }
  const PmicLayout& Layout() const { return layout_; }

  // What the board description says about the device: initial contents (read-only registers
  // can only be set this way), conversion behaviour, refusals and the missing acknowledge.
  void Fit(const I2cDeviceConfig& Config);

  void Preset(uint8_t Register, uint8_t Value) { regs_[Register] = Value; }
  // The stored value; a control register's busy bit is not stored, it is worked out on reads.
  uint8_t Peek(uint8_t Register) const { return regs_[Register]; }

protected:
  uint8_t ReadRegister(uint8_t Register) override;
  void WriteRegister(uint8_t Register, uint8_t Value) override;
  void SaveRegisters(I2cTargetState& State) const override;
  void RestoreRegisters(const I2cTargetState& State) override;

private:
  void Settle() {
    if (converter_ && converter_->Settle(regs_)) {
      Struck({FaultKind::ConversionNeverEnds, Address()});
    }
  }

  std::array<uint8_t, 256> regs_{};
  PmicLayout layout_;
  std::optional<PmicConverter> converter_;
  uint32_t refusedWrites_ = 0; // writes of the refused value that do not take, from reset
  bool refusesEvery_ = false;  // fault: none takes, past the board's own count either
  uint32_t refused_ = 0;       // of those, refused so far
  uint32_t checkedWrites_ = 0; // writes of the refused value, taken or not
};

} // namespace sim

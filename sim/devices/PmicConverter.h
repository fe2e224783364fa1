// A PMIC's analog-to-digital converter as the firmware drives it: a write to the control register
// starts a conversion, bit 0 of that register reads set while it runs, and once it is over the
// result registers hold the 10-bit reading: bits 9-8 in bits 1-0 of the high register, whose
// other bits keep what they held, and bits 7-0 in the low one. Until then both keep the previous
// result, so a reader that does not wait for the busy bit gets that.
//
// A conversion is over after a number of reads of the control register and a span of virtual
// time from its start, whichever ends later, the same rule as the I2C controller's enable
// handshake: a fast poller waits out the time, a slow one the count.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Clock.h"
#include "sim/devices/I2cTarget.h"

#include <array>
#include <cstdint>

namespace sim {

struct PmicConverterLayout {
  uint8_t Control;
  // A write to Control starts a conversion when its bits under StartMask equal StartValue.
  uint8_t StartMask;
  uint8_t StartValue;
  uint8_t ResultHigh;
  uint8_t ResultLow;
};

class PmicConverter {
public:
  static constexpr uint8_t Busy = 1u << 0;
  static constexpr uint16_t ReadingMask = 0x3FF;

  PmicConverter(const PmicConverterLayout& Layout, const Clock& C) : layout_(Layout), clock_(C) {}

  void Configure(const PmicConversionConfig& Config) { config_ = Config; }
  const PmicConverterLayout& Layout() const { return layout_; }

  // The register device calls Settle before every access, so that a conversion that has run its
  // course shows its result to whatever is read next; Written after it stored a write to
  // Control; ReadControl for what a read of Control gives, from the bits stored there.
  // Settle answers true, once, when a conversion that would be over by now runs on for ever (the
  // fault): where the converter first answers otherwise than a sound one.
  bool Settle(std::array<uint8_t, 256>& Registers);
  void Written(uint8_t Value);
  uint8_t ReadControl(uint8_t Stored);

  const ConversionState& Saved() const { return state_; }
  void Restore(const ConversionState& Saved) { state_ = Saved; }

private:
  PmicConverterLayout layout_;
  const Clock& clock_;
  PmicConversionConfig config_;
  ConversionState state_;
};

} // namespace sim

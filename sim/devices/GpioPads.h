// The SoC's GPIO pad block at 0xFED0C000: three communities of up to 256 pads, 16 bytes each.
// Registers read back what was written, except that an input pad's level bit follows the level
// the board drives on it, and chosen registers can be made to read all ones for a while.
#pragma once

#include "sim/Device.h"
#include "sim/RegisterFile.h"
#include "sim/faults/Strikes.h"

#include <algorithm>
#include <map>

namespace sim {

constexpr uint32_t GpioBlockBase = 0xFED0C000u;
constexpr uint32_t GpioCommunitySize = 0x1000;
constexpr uint32_t GpioCommunityCount = 3;
constexpr uint32_t GpioBlockSize = GpioCommunitySize * GpioCommunityCount;
constexpr uint32_t GpioPadSize = 16;
constexpr uint32_t GpioPadsPerCommunity = GpioCommunitySize / GpioPadSize;

// Reset state: every pad a GPIO input with its pull pattern off and level 0.
constexpr uint32_t GpioConfigReset = 0x20038000;
constexpr uint32_t GpioValueReset = 0x00000002;

class GpioPads : public Device {
public:
  // The registers, and how many reads of each failing register have failed so far.
  struct State {
    RegisterFile Registers{GpioBlockSize};
    std::map<uint32_t, uint32_t> FailedReads;
  };

  // Strikes: where its faults are noted; none in a test that does not ask.
  explicit GpioPads(StrikeLog* Strikes = nullptr);
  std::string_view Name() const override { return "gpio-pads"; }
  uint32_t Read(uint32_t Offset, unsigned Width) override;
  void Write(uint32_t Offset, unsigned Width, uint32_t Value) override;

  // The level the board drives on a pad; seen in bit 0 while the pad is an input.
  void DriveLevel(uint32_t Community, uint32_t Pad, bool High);
  // The 32-bit register at Offset reads all ones for its first Reads reads. Faults on one
  // register add up: the longest one counts, and each strikes at its first read.
  void FailReads(uint32_t Offset, uint32_t Reads) {
    failing_[Offset] = std::max(failing_[Offset], Reads);
    given_.emplace(Offset, Reads);
  }
  // Sets a register without an access, for a board's initial state.
  void Preset(uint32_t Offset, uint32_t Value) { state_.Registers.Set32(Offset, Value); }

  // Register contents as the module would read them (input levels applied, no fault consumed).
  uint32_t Peek(uint32_t Offset) const;

  const State& Saved() const { return state_; }
  void Restore(const State& Saved) { state_ = Saved; }

private:
  State state_;
  std::map<uint32_t, bool> driven_;         // value register offset -> level
  std::map<uint32_t, uint32_t> failing_;    // register offset -> reads that fail
  std::multimap<uint32_t, uint32_t> given_; // each fault as given, for its strike
  StrikeLog* strikes_;
};

constexpr uint32_t PadOffset(uint32_t Community, uint32_t Pad) {
  return Community * GpioCommunitySize + Pad * GpioPadSize;
}

} // namespace sim

// A register-level device model. The board hands it accesses that fall in a window it claimed,
// with the offset from the window's base.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {

class Device {
public:
  virtual ~Device() = default;
  virtual std::string_view Name() const = 0;
  virtual uint32_t Read(uint32_t Offset, unsigned Width) = 0;
  virtual void Write(uint32_t Offset, unsigned Width, uint32_t Value) = 0;
  // True for a device whose reads the board computes from the virtual clock alone (a free-running
  // counter): no view of the trace needs them, and a trace keeping only view inputs drops them.
  virtual bool ReadsFollowClock() const { return false; }
};

// Value of a read that nothing answers, at the access width.
constexpr uint32_t AllOnes(unsigned Width) {
  return Width >= 32 ? 0xFFFFFFFFu : ((1u << Width) - 1);
}

} // namespace sim

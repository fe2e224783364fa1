// The ACPI power-management timer: a free-running 3,579,545 Hz counter derived from the virtual
// clock. It answers only once the legacy bridge decodes the ACPI I/O window at the port block
// that holds it; before that its port reads all ones.
#pragma once

#include "sim/Clock.h"
#include "sim/devices/LegacyBridge.h"
#include "sim/faults/Strikes.h"

namespace sim {

constexpr uint16_t PmTimerPort = 0x408;
constexpr uint64_t PmTimerHz = 3579545;

class PmTimer : public Device {
public:
  // What it counted so far: decoded reads, and the count a frozen timer keeps returning.
  struct State {
    uint64_t Reads = 0;
    uint32_t Frozen = 0;
  };

  // FrozenFromRead: from that decoded read on (counting from 1) the count stops; 0: never.
  // Strikes: where the frozen count is noted, at the first read that finds it stopped.
  PmTimer(const Clock& C, const LegacyBridge& Bridge, bool Wide, uint32_t StartCount,
          uint32_t FrozenFromRead = 0, StrikeLog* Strikes = nullptr)
      : clock_(C), bridge_(Bridge), wide_(Wide), start_(StartCount), frozenFrom_(FrozenFromRead),
        strikes_(Strikes) {}

  std::string_view Name() const override { return "pm-timer"; }
  bool ReadsFollowClock() const override { return true; }

  uint32_t Count() const {
    // 64 bits hold the product for the first 85 minutes of virtual time; past that, 128.
    const uint64_t now = clock_.NowNs();
    const uint64_t ticks =
        now <= UINT64_MAX / PmTimerHz
            ? now * PmTimerHz / 1000000000u
            : static_cast<uint64_t>(static_cast<unsigned __int128>(now) * PmTimerHz / 1000000000u);
    const uint32_t count = static_cast<uint32_t>(ticks) + start_;
    return wide_ ? count : count & 0xFFFFFF;
  }

  uint32_t Read(uint32_t, unsigned Width) override {
    const uint32_t acpi = bridge_.AcpiBaseRegister();
    const bool decoded = (acpi & LegacyBridge::AcpiDecodeBit) != 0 &&
                         (acpi & LegacyBridge::AcpiBaseMask) + 8 == PmTimerPort;
    if (!decoded) {
      return AllOnes(Width);
    }
    ++state_.Reads;
    if (frozenFrom_ == 0 || state_.Reads < frozenFrom_) {
      return Count();
    }
    if (state_.Reads == frozenFrom_) {
      state_.Frozen = Count();
    } else if (state_.Reads == frozenFrom_ + uint64_t{1} && strikes_ != nullptr) {
      strikes_->Mark({FaultKind::TimerFrozen, 0, frozenFrom_});
    }
    return state_.Frozen;
  }
  void Write(uint32_t, unsigned, uint32_t) override {} // the counter is read-only

  const State& Saved() const { return state_; }
  void Restore(const State& Saved) { state_ = Saved; }

private:
  const Clock& clock_;
  const LegacyBridge& bridge_;
  bool wide_;
  uint32_t start_;
  uint32_t frozenFrom_;
  StrikeLog* strikes_;
  State state_;
};

} // namespace sim

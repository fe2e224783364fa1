// The P-Unit, the SoC's power-management microcontroller, as seen through sideband port 4.
// Register 7 is the PMIC bus semaphore it shares with the host; other registers are plain
// storage. The P-Unit grants a request after a delay, and not before it has finished its own use
// of the bus; a faulty one never grants. Granting consumes the request bit; the host can clear
// the grant (release) but never set it.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Clock.h"
#include "sim/devices/HostBridge.h"
#include "sim/faults/Strikes.h"

#include <map>

namespace sim {

constexpr uint8_t PunitPort = 0x04;
constexpr uint32_t PunitSemaphoreRegister = 7;
constexpr uint32_t SemaphoreGrant = 1u << 0;
constexpr uint32_t SemaphoreRequest = 1u << 1;
constexpr uint32_t SemaphoreArbitration = 1u << 8;

class Punit : public SidebandEndpoint {
public:
  // The semaphore, when a request is to be granted, the grants so far and the other registers.
  struct State {
    uint32_t Semaphore = 0;
    uint64_t GrantAtNs = 0;
    uint64_t SoundGrantAtNs = 0; // when a P-Unit without the late grant would have granted
    bool GrantHeldNoted = false; // its grant fault, noted once: the module polls for the grant
    uint64_t Grants = 0;
    std::map<uint32_t, uint32_t> Registers;
    std::map<uint32_t, uint32_t> Reads; // sideband reads so far, by register
  };

  // Strikes: where its faults are noted; none in a test that does not ask.
  Punit(const Clock& C, const PunitConfig& Config, StrikeLog* Strikes = nullptr);

  uint32_t SidebandRead(uint32_t Register) override;
  void SidebandWrite(uint32_t Register, uint32_t Value) override;

  uint32_t Peek(uint32_t Register) const;
  bool HostHoldsBus() const { return (state_.Semaphore & SemaphoreGrant) != 0; }
  uint64_t Grants() const { return state_.Grants; }
  // Sideband reads so far, by register.
  const std::map<uint32_t, uint32_t>& Reads() const { return state_.Reads; }

  const State& Saved() const { return state_; }
  void Restore(const State& Saved) { state_ = Saved; }

private:
  void Update(uint64_t NowNs);
  void Struck(const FaultPoint& Fault) {
    if (strikes_ != nullptr) {
      strikes_->Mark(Fault);
    }
  }

  const Clock& clock_;
  StrikeLog* strikes_;
  PunitConfig config_;
  State state_;
};

} // namespace sim

#include "sim/devices/Punit.h"

#include <algorithm>

namespace sim {

namespace {
constexpr uint32_t PunitRegister6 = 6;
}

Punit::Punit(const Clock& C, const PunitConfig& Config, StrikeLog* Strikes)
    : clock_(C), strikes_(Strikes), config_(Config) {
  state_.Semaphore =
      (Config.Arbitrated ? SemaphoreArbitration : 0) | (Config.HostHoldsBus ? SemaphoreGrant : 0);
  state_.Registers[PunitRegister6] = Config.Register6;
}

void Punit::Update(uint64_t NowNs) {
  const bool waiting =
      (state_.Semaphore & SemaphoreRequest) && !(state_.Semaphore & SemaphoreGrant);
  if (!waiting || NowNs < state_.SoundGrantAtNs) {
    return;
  }
  // From here a sound P-Unit would have granted: a grant held back is the fault striking.
  if (config_.NeverGrants || NowNs < state_.GrantAtNs) {
    if (!state_.GrantHeldNoted) {
      Struck({config_.NeverGrants ? FaultKind::SemaphoreNeverGranted
                                  : FaultKind::SemaphoreGrantedLate});
      state_.GrantHeldNoted = true;
    }
  } else {
    state_.Semaphore = (state_.Semaphore | SemaphoreGrant) & ~SemaphoreRequest;
    ++state_.Grants;
  }
}

uint32_t Punit::SidebandRead(uint32_t Register) {
  const uint32_t read = ++state_.Reads[Register];
  if (Register == PunitSemaphoreRegister) {
    Update(clock_.NowNs());
  }
  const bool answers = std::none_of(
      config_.ReadsAllOnes.begin(), config_.ReadsAllOnes.end(),
      [&](const PunitReadFault& F) { return F.Register == Register && F.Read == read; });
  if (!answers) {
    Struck({FaultKind::PunitReadsAllOnes, Register, read});
  }
  return answers ? Peek(Register) : 0xFFFFFFFFu;
}

void Punit::SidebandWrite(uint32_t Register, uint32_t Value) {
  if (Register != PunitSemaphoreRegister) {
    state_.Registers[Register] = Value;
    return;
  }
  const uint64_t now = clock_.NowNs();
  Update(now);
  // Arbitration is the P-Unit's to say; the host may drop a grant but not take one.
  uint32_t next = (Value & ~(SemaphoreArbitration | SemaphoreGrant)) |
                  (state_.Semaphore & SemaphoreArbitration) |
                  (state_.Semaphore & Value & SemaphoreGrant);
  if ((next & SemaphoreRequest) && !(state_.Semaphore & SemaphoreRequest)) {
    state_.SoundGrantAtNs = std::max(AddNs(now, config_.GrantDelayNs), config_.BusyUntilNs);
    state_.GrantAtNs =
        std::max(AddNs(AddNs(now, config_.GrantDelayNs), config_.LateByNs), config_.BusyUntilNs);
  }
  state_.Semaphore = next;
  Update(now);
}

uint32_t Punit::Peek(uint32_t Register) const {
  if (Register == PunitSemaphoreRegister) {
    return state_.Semaphore;
  }
  auto found = state_.Registers.find(Register);
  return found != state_.Registers.end() ? found->second : 0;
}

} // namespace sim

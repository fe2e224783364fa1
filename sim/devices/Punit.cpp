#include "sim/devices/Punit.h"

#include <algorithm>

namespace sim {

namespace {
constexpr uint32_t PunitRegister6 = 6;
}

Punit::Punit(const Clock& C, const PunitConfig& Config)
    : clock_(C), config_(Config), semaphore_((Config.Arbitrated ? SemaphoreArbitration : 0) |
                                             (Config.HostHoldsBus ? SemaphoreGrant : 0)) {
  registers_[PunitRegister6] = Config.Register6;
}

void Punit::Update(uint64_t NowNs) {
  const bool waiting = (semaphore_ & SemaphoreRequest) && !(semaphore_ & SemaphoreGrant);
  if (waiting && !config_.NeverGrants && NowNs >= grantAtNs_) {
    semaphore_ = (semaphore_ | SemaphoreGrant) & ~SemaphoreRequest;
    ++grants_;
  }
}

uint32_t Punit::SidebandRead(uint32_t Register) {
  const uint32_t read = ++reads_[Register];
  if (Register == PunitSemaphoreRegister) {
    Update(clock_.NowNs());
  }
  const bool answers = std::none_of(
      config_.ReadsAllOnes.begin(), config_.ReadsAllOnes.end(),
      [&](const PunitReadFault& F) { return F.Register == Register && F.Read == read; });
  return answers ? Peek(Register) : 0xFFFFFFFFu;
}

void Punit::SidebandWrite(uint32_t Register, uint32_t Value) {
  if (Register != PunitSemaphoreRegister) {
    registers_[Register] = Value;
    return;
  }
  const uint64_t now = clock_.NowNs();
  Update(now);
  // Arbitration is the P-Unit's to say; the host may drop a grant but not take one.
  uint32_t next = (Value & ~(SemaphoreArbitration | SemaphoreGrant)) |
                  (semaphore_ & SemaphoreArbitration) | (semaphore_ & Value & SemaphoreGrant);
  if ((next & SemaphoreRequest) && !(semaphore_ & SemaphoreRequest)) {
    grantAtNs_ = std::max(AddNs(now, config_.GrantDelayNs), config_.BusyUntilNs);
  }
  semaphore_ = next;
  Update(now);
}

uint32_t Punit::Peek(uint32_t Register) const {
  if (Register == PunitSemaphoreRegister) {
    return semaphore_;
  }
  auto found = registers_.find(Register);
  return found != registers_.end() ? found->second : 0;
}

} // namespace sim

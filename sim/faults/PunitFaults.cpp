// The P-Unit family: the semaphore that shares the PMIC bus, and sideband reads of its registers.
#include "sim/Soc.h"
#include "sim/SocState.h"
#include "sim/decode/BusDecoder.h"
#include "sim/faults/FaultFamily.h"

#include <algorithm>

namespace sim::faults {

namespace {

bool Requested(const decode::BusActivity& Bus) {
  return std::any_of(Bus.Holds.begin(), Bus.Holds.end(),
                     [](const decode::SemaphoreHold& H) { return H.Requested; });
}

// --- semaphore-never-granted, semaphore-granted-late: one grant, so one of them at a time

void RefuseSecondGrantFault(const PunitConfig& Punit) {
  if (Punit.NeverGrants) {
    Refuse("the P-Unit never grants the semaphore already");
  }
  if (Punit.LateByNs != 0) {
    Refuse("the P-Unit already grants the semaphore late");
  }
}

void ApplyNeverGranted(const FaultPoint&, BoardConfig& Board) {
  RefuseSecondGrantFault(Board.Punit);
  Board.Punit.NeverGrants = true;
}

void ApplyGrantedLate(const FaultPoint&, BoardConfig& Board) {
  RefuseSecondGrantFault(Board.Punit);
  Board.Punit.LateByNs = LateGrantNs;
}

template <FaultKind Kind>
void EnumerateGrantFault(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  if (Requested(Run.Bus) && !Run.Board.Punit.NeverGrants && Run.Board.Punit.LateByNs == 0) {
    Points.push_back({Kind});
  }
}

bool BeforeRequest(const FaultPoint&, const RunPosition& At) {
  // No request yet: none pending, none granted, no grant time set.
  const Punit::State& punit = At.State.Devices->PUnit;
  return punit.Grants == 0 && punit.GrantAtNs == 0 && (punit.Semaphore & SemaphoreRequest) == 0;
}

// --- punit-reads-all-ones

bool ReadFails(const PunitConfig& Punit, uint32_t Register, uint32_t Read) {
  return std::find(Punit.ReadsAllOnes.begin(), Punit.ReadsAllOnes.end(),
                   PunitReadFault{Register, Read}) != Punit.ReadsAllOnes.end();
}

void ApplyPunitReadsAllOnes(const FaultPoint& Point, BoardConfig& Board) {
  if (Point.Where > 0xFF) {
    Refuse(tools::HexBytes(Point.Where) + " is not a P-Unit register (0x00-0xFF)");
  }
  if (ReadFails(Board.Punit, Point.Where, Point.When)) {
    Refuse("the board already returns all ones for read " + std::to_string(Point.When) + " of " +
           "P-Unit register " + tools::HexBytes(Point.Where));
  }
  Board.Punit.ReadsAllOnes.push_back({Point.Where, Point.When});
}

void EnumeratePunitReads(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  for (const auto& [reg, reads] : Run.Devices.PUnit.Reads()) {
    for (uint32_t n = 1; n <= reads; ++n) {
      if (!ReadFails(Run.Board.Punit, reg, n)) {
        Points.push_back({FaultKind::PunitReadsAllOnes, reg, n});
      }
    }
  }
}

bool BeforePunitRead(const FaultPoint& Point, const RunPosition& At) {
  // Its Nth read of the register is the one that finds all ones.
  const auto& reads = At.State.Devices->PUnit.Reads;
  const auto found = reads.find(Point.Where);
  return found == reads.end() || found->second < Point.When;
}

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::SemaphoreNeverGranted, "semaphore-never-granted", FaultWhere::None, false,
     "the P-Unit never grants the PMIC bus semaphore", ApplyNeverGranted,
     EnumerateGrantFault<FaultKind::SemaphoreNeverGranted>, BeforeRequest},
    {FaultKind::SemaphoreGrantedLate, "semaphore-granted-late", FaultWhere::None, false,
     "every grant of the semaphore comes 400 ms later than it would, past the time-out",
     ApplyGrantedLate, EnumerateGrantFault<FaultKind::SemaphoreGrantedLate>, BeforeRequest},
    {FaultKind::PunitReadsAllOnes, "punit-reads-all-ones", FaultWhere::Address, true,
     "the Nth sideband read of a P-Unit register gets no answer (all ones)", ApplyPunitReadsAllOnes,
     EnumeratePunitReads, BeforePunitRead},
};

} // namespace

std::span<const FaultKindInfo> PunitFaultKinds() {
  return Kinds;
}

} // namespace sim::faults

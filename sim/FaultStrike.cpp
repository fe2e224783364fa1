#include "sim/FaultStrike.h"

#include "sim/SocState.h"

namespace sim {

namespace {

// The device in the description's place for a 7-bit address; null when none is fitted there.
const I2cTargetState* DeviceAt(const BoardConfig& Board, const SocState& State, uint32_t Address) {
  for (size_t i = 0; i < Board.I2cDevices.size() && i < State.I2cDevices.size(); ++i) {
    if (Board.I2cDevices[i].Address == Address && !Board.I2cDevices[i].TenBit) {
      return &State.I2cDevices[i];
    }
  }
  return nullptr;
}

// Whether the PMIC bus controller has had no access yet: its window is not mapped, or nothing
// has gone through it.
bool ControllerUntouched(const BoardState& State, const SocState& Devices) {
  if (!Devices.I2cFunction.Window) {
    return true;
  }
  const size_t window = *Devices.I2cFunction.Window;
  if (window >= State.Windows.size()) {
    return false;
  }
  const DeviceCounts& counts = State.Counts.at(State.Windows[window].Device);
  return counts.Reads == 0 && counts.Writes == 0;
}

} // namespace

FaultStrikes::FaultStrikes(const BoardConfig& Board, std::span<const Access> Reference)
    : board_(Board) {
  for (const Access& access : Reference) {
    if (access.Op == AccessOp::Read) {
      firstRead_.try_emplace(access.Address, access.Seq);
    }
  }
}

bool FaultStrikes::Before(const FaultPoint& Point, const BoardState& State) const {
  if (State.Devices == nullptr) {
    return false;
  }
  const SocState& devices = *State.Devices;
  switch (Point.Kind) {
  case FaultKind::ByteRefused:
    return devices.I2c.Bytes < Point.When;
  case FaultKind::BusStalled:
    // The bus stops before byte N moves, and so before anything queued after byte N - 1.
    return devices.I2c.Bytes + 1 < Point.When;
  case FaultKind::DeviceStopsAcknowledging: {
    const I2cTargetState* device = DeviceAt(board_, devices, Point.Where);
    return device != nullptr && device->Transfers < Point.When;
  }
  case FaultKind::ControllerNeverEnables:
  case FaultKind::ControllerStaysActive:
    return ControllerUntouched(State, devices);
  case FaultKind::SemaphoreNeverGranted:
  case FaultKind::SemaphoreGrantedLate:
    // No request yet: none pending, none granted, no grant time set.
    return devices.PUnit.Grants == 0 && devices.PUnit.GrantAtNs == 0 &&
           (devices.PUnit.Semaphore & SemaphoreRequest) == 0;
  case FaultKind::PadReadsAllOnes: {
    const auto first = firstRead_.find(Point.Where);
    return first == firstRead_.end() || State.Trace.Count <= first->second;
  }
  case FaultKind::PunitReadsAllOnes: {
    // Its Nth read of the register is the one that finds all ones.
    const auto reads = devices.PUnit.Reads.find(Point.Where);
    return reads == devices.PUnit.Reads.end() || reads->second < Point.When;
  }
  case FaultKind::TimerFrozen:
    // The Nth read still counts; the one after it is the first to find the count stopped.
    return devices.Timer.Reads < Point.When;
  case FaultKind::ConversionNeverEnds:
  case FaultKind::VerifiedWriteNeverTakes: {
    const I2cTargetState* device = DeviceAt(board_, devices, Point.Where);
    return device != nullptr && device->Transfers == 0;
  }
  case FaultKind::HobZeroLength:
  case FaultKind::HobLengthBelowHeader:
  case FaultKind::HobLengthPastEnd:
  case FaultKind::HobNoEndMarker:
  case FaultKind::HobDescriptorCutShort:
    return false;
  }
  return false;
}

} // namespace sim

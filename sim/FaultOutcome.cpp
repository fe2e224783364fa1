#include "sim/FaultOutcome.h"

#include "common/Format.h"
#include "sim/Mends.h"

#include <algorithm>
#include <map>

namespace sim {

namespace {

// The controller's registers that the PMIC-level check covers (a transfer's target and its
// commands: what matters is what it wrote where), or that recovery writes.
constexpr uint32_t TargetAddressOffset = 0x04;
constexpr uint32_t DataCommandOffset = 0x10;
constexpr uint32_t EnableOffset = 0x6C;

// The bus semaphore's grant and request, and its register at rest under arbitration.
constexpr uint32_t ReleaseGrant = 1u << 0;
constexpr uint32_t ReleaseRequest = 1u << 1;
constexpr uint32_t ReleaseResting = 1u << 8;

bool IsWrite(AccessOp Op) {
  return Op == AccessOp::Write || Op == AccessOp::Out;
}

bool ReadFailed(const decode::I2cTransaction& T) {
  return T.Read && (T.Aborted || !T.HasValue);
}

} // namespace

ReferenceWrites::ReferenceWrites(const std::vector<Access>& Trace,
                                 const decode::BusAddresses& Where)
    : where_(Where), recovery_(!MendRules("controller-recovery").empty()) {
  Add(Trace);
  // Writes the design states for a fault, which a fault-free run does not make.
  for (const MendExpect* expect : MendRules("pmic-writes")) {
    for (const auto& [reg, value] : expect->Writes) {
      pmicWrites_[{expect->Device, reg}].insert(value);
    }
  }
  for (const MendExpect* expect : MendRules("release-known-bits")) {
    knownBits_.insert(expect->Address);
  }
}

void ReferenceWrites::Add(const std::vector<Access>& Trace) {
  for (const Access& access : Trace) {
    if (IsWrite(access.Op)) {
      writes_[{access.Op, access.Width, access.Address}].insert(access.Value);
    }
  }
  for (const decode::I2cTransaction& t : decode::DecodeBus(Trace, where_).I2c) {
    if (!t.Read && t.HasRegister && t.HasValue) {
      pmicWrites_[{t.Device, t.Register}].insert(t.Value);
    }
  }
}

std::vector<BadWrite> ReferenceWrites::Check(const std::vector<Access>& Faulted) const {
  std::vector<BadWrite> found;
  const uint32_t dataCommand = where_.I2cRegisters + DataCommandOffset;
  const uint32_t target = where_.I2cRegisters + TargetAddressOffset;
  const uint32_t enable = where_.I2cRegisters + EnableOffset;
  std::map<std::pair<AccessOp, uint32_t>, uint32_t> lastRead; // by space and address
  // Where a write after a read that got no answer may rebuild the register from what an earlier
  // answered read showed: those readings, or the semaphore's resting value, with the grant (bit 0)
  // cleared and the request (bit 1) as the unanswered read gave it, set.
  std::map<uint32_t, std::set<uint32_t>> known;
  for (const uint32_t address : knownBits_) {
    known[address].insert(ReleaseResting | ReleaseRequest);
  }
  for (const Access& access : Faulted) {
    if (!IsWrite(access.Op)) {
      lastRead[{access.Op, access.Address}] = access.Value;
      if (access.Op == AccessOp::Read && access.Width == 32 && access.Value != 0xFFFFFFFFu &&
          knownBits_.contains(access.Address)) {
        known[access.Address].insert((access.Value & ~ReleaseGrant) | ReleaseRequest);
      }
      continue;
    }
    const bool memory = access.Op == AccessOp::Write;
    // PMIC register writes are judged below by what they wrote where; the controller switched
    // off and on is the recovery after a byte wait gave up.
    if ((memory && (access.Address == dataCommand || access.Address == target)) ||
        (recovery_ && memory && access.Address == enable && access.Value <= 1)) {
      continue;
    }
    const auto written = writes_.find({access.Op, access.Width, access.Address});
    if (written == writes_.end()) {
      found.push_back({BadWriteKind::Stray, access.Seq, FormatAccess(access)});
      continue;
    }
    const auto read = lastRead.find({memory ? AccessOp::Read : AccessOp::In, access.Address});
    const uint32_t allOnes = access.Width == 32 ? 0xFFFFFFFFu : (1u << access.Width) - 1;
    const auto rebuilt = known.find(access.Address);
    if (!written->second.contains(access.Value) && read != lastRead.end() &&
        read->second == allOnes &&
        !(rebuilt != known.end() && memory && rebuilt->second.contains(access.Value))) {
      found.push_back({BadWriteKind::BuiltOnFailedRead, access.Seq, FormatAccess(access)});
    }
  }
  // The last read of each PMIC register before a write to it, failed or not.
  std::map<std::pair<uint16_t, uint8_t>, bool> readFailed;
  for (const decode::I2cTransaction& t : decode::DecodeBus(Faulted, where_).I2c) {
    if (!t.HasRegister) {
      continue;
    }
    if (t.Read) {
      readFailed[{t.Device, t.Register}] = ReadFailed(t);
      continue;
    }
    if (!t.HasValue) {
      continue;
    }
    const auto written = pmicWrites_.find({t.Device, t.Register});
    const auto read = readFailed.find({t.Device, t.Register});
    const bool failed = read != readFailed.end() && read->second;
    if (written != pmicWrites_.end() && (written->second.contains(t.Value) || !failed)) {
      continue;
    }
    const bool stray = written == pmicWrites_.end();
    const auto at =
        std::lower_bound(Faulted.begin(), Faulted.end(), t.TimeNs,
                         [](const Access& A, uint64_t TimeNs) { return A.TimeNs < TimeNs; });
    found.push_back({stray ? BadWriteKind::Stray : BadWriteKind::BuiltOnFailedRead,
                     at != Faulted.end() ? at->Seq : 0,
                     "write " + tools::Hex(t.Device, 2) + " reg " + tools::Hex(t.Register, 2) +
                         " <- " + tools::Hex(t.Value, 2)});
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const BadWrite& A, const BadWrite& B) { return A.Seq < B.Seq; });
  return found;
}

std::vector<BoardConfig> OtherSelectionBoards(const BoardConfig& Board,
                                              const std::vector<uint16_t>& Detection) {
  std::vector<BoardConfig> boards;
  if (MendRules("other-selections").empty()) {
    return boards;
  }
  for (const bool missing : {false, true}) {
    BoardConfig config = Board;
    for (const uint16_t address : Detection) {
      const auto device =
          std::find_if(config.I2cDevices.begin(), config.I2cDevices.end(),
                       [&](const I2cDeviceConfig& D) { return D.Address == address && !D.TenBit; });
      if (device == config.I2cDevices.end()) {
        continue;
      }
      device->MissesFirstTransfers = 1;
      device->NeverAcknowledges = missing;
      boards.push_back(config);
    }
  }
  return boards;
}

} // namespace sim

// The pad family: registers of the GPIO pad block that read all ones for a while.
#include "sim/Soc.h"
#include "sim/faults/FaultFamily.h"

#include <algorithm>
#include <set>

namespace sim::faults {

namespace {

bool InPadBlock(uint32_t Address) {
  return Address >= GpioBlockBase && Address - GpioBlockBase < GpioBlockSize;
}

// The reads of Address the board itself answers with all ones.
uint32_t FailingAlready(const BoardConfig& Board, uint32_t Address) {
  uint32_t reads = 0;
  for (const PadFault& fault : Board.PadFaults) {
    if (fault.Address == Address) {
      reads = std::max(reads, fault.Reads);
    }
  }
  return reads;
}

void Apply(const FaultPoint& Point, BoardConfig& Board) {
  if (!InPadBlock(Point.Where) || Point.Where % 4 != 0) {
    Refuse(tools::HexBytes(Point.Where) + " is not a register of the pad block");
  }
  // A register the board itself leaves all ones for as many reads or more would not change.
  if (const uint32_t already = FailingAlready(Board, Point.Where); already >= Point.When) {
    Refuse("the board already returns all ones for the first " + std::to_string(already) +
           " reads of " + tools::HexBytes(Point.Where));
  }
  Board.PadFaults.push_back({Point.Where, Point.When});
}

// Every 32-bit pad register the run read, for each count of failing reads the engine may see.
void Enumerate(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  std::set<uint32_t> read;
  for (const Access& access : Run.Trace) {
    if (access.Op == AccessOp::Read && access.Width == 32 && InPadBlock(access.Address)) {
      read.insert(access.Address);
    }
  }
  for (const uint32_t address : read) {
    for (uint32_t k = FailingAlready(Run.Board, address) + 1; k <= PadReadsTried; ++k) {
      Points.push_back({FaultKind::PadReadsAllOnes, address, k});
    }
  }
}

bool Before(const FaultPoint& Point, const RunPosition& At) {
  const auto first = At.FirstReads.find(Point.Where);
  return first == At.FirstReads.end() || At.State.Trace.Count <= first->second;
}

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::PadReadsAllOnes, "pad-reads-all-ones", FaultWhere::Address, true,
     "a pad register the module reads returns all ones for its first k reads (k = 1..6)", Apply,
     Enumerate, Before},
};

} // namespace

std::span<const FaultKindInfo> PadFaultKinds() {
  return Kinds;
}

} // namespace sim::faults

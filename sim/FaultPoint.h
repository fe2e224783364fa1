// A fault point: one fault the board throws, where and when it strikes, as data the board
// understands. Written on a command line as KIND, KIND:WHERE, KIND@WHEN or KIND:WHERE@WHEN
// ("byte-refused@12", "device-stops-acknowledging:0x34@3", "pad-reads-all-ones:0xFED0C5D8@6",
// "punit-reads-all-ones:0x07@4");
// applied to a board description it becomes the board-file fault it stands for. The points worth
// trying on a board are those its fault-free run reaches: every byte it moves, every transfer to
// each device, every pad register it reads, every read of a P-Unit register, every wait on the PM
// timer.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Trace.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Soc;

enum class FaultKind : uint8_t {
  ByteRefused,              // when: the Nth byte on the bus is not acknowledged
  DeviceStopsAcknowledging, // where: 7-bit address; when: from its Nth transfer on
  ControllerNeverEnables,
  ControllerStaysActive,
  BusStalled,              // when: the bus stops before the Nth byte
  SemaphoreNeverGranted,   // the P-Unit never answers a request
  SemaphoreGrantedLate,    // every grant comes after the module's wait has given up
  PadReadsAllOnes,         // where: a pad register; when: its first k reads
  PunitReadsAllOnes,       // where: a P-Unit register; when: its Nth sideband read only
  TimerFrozen,             // when: from the Nth PM-timer read on
  ConversionNeverEnds,     // where: the PMIC whose converter stays busy
  VerifiedWriteNeverTakes, // where: the PMIC whose checked register refuses every write
  HobZeroLength,           // where: the HOB whose length reads 0
  HobLengthBelowHeader,    // where: the HOB whose length is below its own header
  HobLengthPastEnd,        // where: the HOB whose length steps past the end of the list
  HobNoEndMarker,          // the list has no end-of-list HOB
  HobDescriptorCutShort,   // where: the descriptor HOB whose length cannot hold a descriptor
};

struct FaultKindInfo {
  FaultKind Kind;
  const char* Name;
  bool HasWhere;
  bool HasWhen;
  const char* What; // for --help and docs/sweep.md
};

std::span<const FaultKindInfo> FaultKinds();
const FaultKindInfo& InfoOf(FaultKind Kind);
// Null for a name that is not a kind.
const FaultKindInfo* FindFaultKind(std::string_view Name);

struct FaultPoint {
  FaultKind Kind = FaultKind::ByteRefused;
  uint32_t Where = 0;
  uint32_t When = 0;
  bool operator==(const FaultPoint&) const = default;
};

// "device-stops-acknowledging:0x34@3": addresses in hex, counts in decimal.
std::string FormatFaultPoint(const FaultPoint& Point);
// Throws std::invalid_argument with a one-line reason.
FaultPoint ParseFaultPoint(std::string_view Text);

// Puts the fault into the board description. Throws std::invalid_argument when the board has
// nothing the fault could strike (no device at the address, no HOB at the index, a count of 0).
void ApplyFault(const FaultPoint& Point, BoardConfig& Board);

// The budgets the faults are measured against: the semaphore wait gives up after about 300 ms,
// so a grant this late always comes after it; a pad register is read at most six times.
constexpr uint64_t LateGrantNs = 400'000'000;
constexpr uint32_t PadReadsTried = 6;
constexpr uint32_t RefuseForever = 0xFFFFFFFF;

// The points of the given kinds that a fault-free run on Board reached. Reference is that run's
// board after it ended (its devices' counts and its trace, kept whole or without the PM-timer
// reads: a timer wait is a run of timer reads between two other accesses). Each PM-timer wait
// gives two points, its first read and its last; every other kind is tried at every point.
std::vector<FaultPoint> EnumerateFaultPoints(const BoardConfig& Board, Soc& Reference,
                                             std::span<const FaultKind> Kinds);

} // namespace sim

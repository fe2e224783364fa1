// The fault kinds the board understands. Each kind is one entry of its family (the PMIC bus, the
// P-Unit, the pads, the PM timer, the HOB list; one file each in sim/faults/): its name and
// description, how a point of it is put into a board description, which points of it a fault-free
// run reached, and whether a run has met a point yet. A new kind is one new entry.
//
// A point adds to the faults the board already has and never takes one away: both strike. Where
// they cannot (a second stall of one bus, a second freeze of one timer: the first keeps the second
// from ever striking), the point is refused with the reason, as one the board cannot carry.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/Trace.h"
#include "sim/faults/FaultPoint.h"
#include "sim/faults/Strikes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Soc;
namespace decode {
struct BusActivity;
}

// What WHERE names: nothing, an address (written in hex) or an index (in decimal).
enum class FaultWhere : uint8_t { None, Address, Index };

// A fault-free run as it ended: what a kind's points are enumerated from.
struct ReferenceRun {
  const BoardConfig& Board;
  Soc& Devices; // the devices' state when the run ended
  const std::vector<Access>& Trace; // kept whole or without the PM-timer reads
  const decode::BusActivity& Bus;   // decoded from Trace
};

// A fault-free run at some access: where a checkpoint would be taken.
struct RunPosition {
  const BoardConfig& Board;
  const BoardState& State;
  // The sequence number of each memory-mapped register's first read in the whole run.
  const std::map<uint32_t, uint64_t>& FirstReads;
};

struct FaultKindInfo {
  FaultKind Kind;
  const char* Name;
  FaultWhere Where;
  bool HasWhen;
  const char* What; // for --help and docs/run.md
  // Puts the point into Board, beside the faults it has; throws std::invalid_argument with a
  // one-line reason when the board has nothing the fault could strike, or the fault could not
  // strike beside one the board already has.
  void (*Apply)(const FaultPoint& Point, BoardConfig& Board);
  // Adds the points of this kind that Run reached and whose fault the module could see: a fault
  // that would strike only after the module's last look at the device it breaks is not one.
  void (*Enumerate)(const ReferenceRun& Run, std::vector<FaultPoint>& Points);
  // True while a fault-free run at Position has not met Point: up to there the faulted run does
  // the same. The answer only turns from true to false as the run goes on.
  bool (*Before)(const FaultPoint& Point, const RunPosition& Position);
  // Where Point struck in a run that ended with Board's strikes; none when it did not. Null: as
  // the log says.
  std::optional<Strike> (*StruckIn)(const FaultPoint& Point, const BoardConfig& Config,
                                    const StrikeLog& Log) = nullptr;
  bool HasWhere() const { return Where != FaultWhere::None; }
};

std::span<const FaultKindInfo> FaultKinds();
const FaultKindInfo& InfoOf(FaultKind Kind);
// Null for a name that is not a kind.
const FaultKindInfo* FindFaultKind(std::string_view Name);
// "byte-refused, device-stops-acknowledging, ...": what a message about an unknown kind offers.
std::string FaultKindNames();

// "device-stops-acknowledging:0x34@3": addresses in hex, counts in decimal.
std::string FormatFaultPoint(const FaultPoint& Point);
// Throws std::invalid_argument with a one-line reason; an unknown kind is named with the kinds.
FaultPoint ParseFaultPoint(std::string_view Text);

// Puts the fault into the board description, beside the faults it has (see above).
void ApplyFault(const FaultPoint& Point, BoardConfig& Board);

// The points of the given kinds that a fault-free run on Board reached. Reference is that run's
// board after it ended (its devices' state and its trace, kept whole or without the PM-timer
// reads), before anything made its bus catch up with the clock.
std::vector<FaultPoint> EnumerateFaultPoints(const BoardConfig& Board, Soc& Reference,
                                             std::span<const FaultKind> Kinds);

// Where Point struck in a run on Config whose board noted Log; none when it did not strike.
std::optional<Strike> StruckIn(const FaultPoint& Point, const BoardConfig& Config,
                               const StrikeLog& Log);

// The budgets the faults are measured against: the semaphore wait gives up after about 300 ms,
// so a grant this much later always comes after it; a pad register is read at most six times.
constexpr uint64_t LateGrantNs = 400'000'000;
constexpr uint32_t PadReadsTried = 6;

// Knows where each point of a board first strikes, for a fault-free run's checkpoints.
class FaultReach {
public:
  // Reference: the accesses the fault-free run of Board kept (every access but repeated reads at
  // least: each register's first read must be there).
  FaultReach(const BoardConfig& Board, std::span<const Access> Reference);

  // True when a fault-free run whose board reached State has not met Point yet. A point that
  // changes the HOB list strikes before the first instruction (the list is in memory before the
  // run starts).
  bool Before(const FaultPoint& Point, const BoardState& State) const;

private:
  const BoardConfig& board_;
  std::map<uint32_t, uint64_t> firstRead_; // memory-mapped register -> sequence of its first read
};

} // namespace sim

// One run of a sweep: a boot or a slot call on a board, with or without one fault point, and
// what came of it, judged against the same target's fault-free run.
#pragma once

#include "emu/Machine.h"
#include "emu/PeImage.h"
#include "sim/BoardConfig.h"
#include "sim/FaultOutcome.h"
#include "sim/faults/FaultKinds.h"
#include "sim/faults/Strikes.h"
#include "tools/boardsim/sweep/SweepCheckpoints.h"
#include "tools/run/SlotCall.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {
class Soc;
}

namespace boardsim {

// A boot, or one slot called as boardsim op calls it (the ACPI window opened beforehand).
struct SweepTarget {
  std::string Board; // as named on the command line: what the reproducing command names
  sim::BoardConfig Config;
  std::optional<tools::SlotRequest> Slot;
  std::string What() const; // "boot" or the slot's name
};

// A board's targets in the sweep's order: its boot (with Boot), then each of Slots called as
// boardsim op calls it, with 0 for each UINT8 argument, on the board with the ACPI window open.
// Whether the board's descriptor fills a slot shows only when it runs (PointClass::NotOffered).
std::vector<SweepTarget> BoardTargets(const std::string& Board, const sim::BoardConfig& Config,
                                      const std::vector<size_t>& Slots, bool Boot);

enum class PointClass : uint8_t {
  Returned,   // with a status (or a slot's value)
  NotOffered, // the fault left a descriptor without the slot (selection fell back)
  Stuck,      // past one of the board's budgets
  Crashed,    // a CPU fault, a null slot called, the run's process killed by a signal
  NotRun,     // the board cannot carry the fault (a HOB list the module's walk would leave)
  // Returned as the fault-free run did, access for access: the fault changed nothing the module
  // did or saw (a broken HOB its walk stops at before a list that holds nothing for it anyway).
  NoEffect,
};

// Why a point fails whose run changed with no strike of its fault noted.
inline constexpr const char* StrikeMissingDetail =
    "the run changed, yet no strike of its fault was noted";

struct PointResult {
  PointClass Class = PointClass::Returned;
  std::string Returned; // the status by name, or the slot's value
  std::string Detail;   // why it did not return, or why it was not run
  std::vector<sim::BadWrite> BadWrites;
  std::optional<uint32_t> StackUsed{}; // the image's: the deepest it wrote into its stack
  // Where the point's fault first changed what the board did; none where it never did.
  std::optional<sim::Strike> Struck{};
  // The run went otherwise than the fault-free one with no strike of its fault noted: the board
  // model and the fault kind disagree, and the verdict cannot be trusted.
  bool StrikeMissing = false;
  bool Failed() const {
    return Class == PointClass::Stuck || Class == PointClass::Crashed || !BadWrites.empty() ||
           StrikeMissing;
  }
};

// What a point's run is judged against: its target's fault-free run, its writes and what it did
// in all (its accesses' count and digest, which a run that changed nothing has too).
struct SweepReference {
  std::unique_ptr<sim::ReferenceWrites> Writes;
  uint64_t Accesses = 0;
  uint64_t Digest = 0;
  std::string Returned;
};

// The form that runs: the host build, or an image with its linker map beside it.
class SweepModule {
public:
  // Throws tools::ToolError (exit 2) for an image or map that cannot be read.
  // The image form finds GetActivePmic in MapPath, or the map beside the image. FromReset: each
  // point of the image runs from reset on a new CPU rather than from a checkpoint.
  explicit SweepModule(const std::optional<std::string>& ImagePath,
                       const std::optional<std::string>& MapPath = std::nullopt,
                       bool FromReset = false);
  bool Host() const { return !image_; }

  // Runs Target once. With Point, the fault is put into the board first; with Reference, the
  // run is judged against it (its writes, and whether it changed anything at all). Keep gets
  // what a point's run is judged against, and Points the fault points of Kinds that this run
  // reached (for a fault-free run).
  PointResult Run(const SweepTarget& Target, const std::optional<sim::FaultPoint>& Point,
                  const SweepReference* Reference, SweepReference* Keep = nullptr,
                  std::vector<sim::FaultPoint>* Points = nullptr,
                  const std::vector<sim::FaultKind>& Kinds = {}) const;

private:
  // On Machine when given (replaying a recorded run or reset), else from reset on a new CPU.
  PointResult RunOn(const SweepTarget& Target, const sim::BoardConfig& Config, sim::Soc& Soc,
                    emu::Machine* Machine = nullptr) const;
  void AddOtherSelections(const SweepTarget& Target, sim::ReferenceWrites& Reference) const;
  std::vector<sim::BadWrite> Judge(const SweepTarget& Target, const sim::ReferenceWrites& Reference,
                                   const std::vector<sim::Access>& Trace) const;

  std::optional<emu::PeImage> image_;
  uint32_t getActivePmic_ = 0;
  bool fromReset_;
  // The reference with the writes of every selection the board allows, by target.
  mutable std::map<const SweepTarget*, std::unique_ptr<sim::ReferenceWrites>> widened_;
  // The image's CPU in this worker, and its recording of the target it runs points of.
  mutable std::optional<SweepCheckpoints> checkpoints_;
};

// Puts Point into Config; why the board cannot carry it (the sweep's "not run"), if it cannot.
std::optional<std::string> PlaceFault(const sim::FaultPoint& Point, sim::BoardConfig& Config);

// The command that runs Target alone, in the sweep's form: "boardsim op --host --board variant6
// ReadVoltage".
std::string TargetCommand(const SweepTarget& Target, bool Host,
                          const std::optional<std::string>& ImagePath,
                          const std::optional<std::string>& MapPath = std::nullopt);

// The one command that reproduces a point alone.
std::string ReproduceCommand(const SweepTarget& Target, const sim::FaultPoint& Point, bool Host,
                             const std::optional<std::string>& ImagePath,
                             const std::optional<std::string>& MapPath = std::nullopt);

} // namespace boardsim

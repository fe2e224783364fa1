// The views of a saved trace, from the trace alone: its accesses by kind, the PMIC bus and, for
// a trace of a boot, the PMIC selection and the board step, as the run summary shows them.
#pragma once

#include "sim/Trace.h"
#include "tools/boardsim/analysis/Activity.h"
#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/analysis/RunPhases.h"
#include "tools/boardsim/render/BusLines.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace boardsim {

struct DecodeReport {
  std::string Path;
  uint64_t Accesses = 0;
  uint64_t MemoryReads = 0;
  uint64_t MemoryWrites = 0;
  uint64_t PortReads = 0;
  uint64_t PortWrites = 0;
  uint64_t LastNs = 0;  // the virtual time of the last access
  BoardStepReport Step; // without a GPIO pass (a trace of op) only its Bus says anything
  std::vector<Phase> Phases;
  std::vector<ActivitySpan> Activity;
  std::optional<std::vector<PadRecord>> PadDetail; // --pads
  std::optional<std::vector<PadRecord>> AllPads;   // every pad accessed, for a page
  BusListing Listing;
};

// Reads a trace one access at a time, as it is parsed, and keeps only what the views read (every
// access but the PM-timer reads, as a run keeps them): memory does not grow with the timer reads
// that make up nearly all of a long trace.
class TraceDecoder {
public:
  // Pads: the pads --pads names (empty: every pad the trace accesses), or none. AllPads: the
  // report's AllPads is wanted too.
  explicit TraceDecoder(std::string Path, std::optional<std::vector<PadRef>> Pads = std::nullopt,
                        bool AllPads = false);
  void Add(const sim::Access& Access);
  // The accesses kept so far (the views' inputs).
  uint64_t Kept() const { return kept_.size(); }
  DecodeReport Finish() const;

private:
  DecodeReport report_;
  std::optional<std::vector<PadRef>> pads_;
  bool allPads_;
  std::vector<sim::Access> kept_;
};

DecodeReport DecodeTrace(const std::string& Path, const std::vector<sim::Access>& Trace,
                         std::optional<std::vector<PadRef>> Pads = std::nullopt);

void PrintDecode(std::ostream& Out, const DecodeReport& Report);

} // namespace boardsim

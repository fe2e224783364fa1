// What the reports of run and op open with: the board, the form that ran, the faults as given
// and where each struck.
#pragma once

#include "sim/Soc.h"
#include "sim/faults/FaultPoint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// The faults a run was given, as they were given: the board file's and each --fault point as
// typed on the command line; and, once the run is over, where each struck.
struct RunFaults {
  std::vector<sim::GivenFault> FromBoard;
  std::vector<std::string> Points;
  // The board file's, then the points', in their order above; none for one that did not strike.
  std::vector<std::optional<sim::Strike>> Struck{};
  uint64_t Accesses = 0; // the run's: a strike noted at or past it came after the last one
};

// Where each of Faults struck in the run that Soc made (after sim::Soc::RunOver).
void NoteStrikes(RunFaults& Faults, const sim::Soc& Soc);
// What the summaries of run and op open with: the board, the form that ran, the faults.
struct RunHeader {
  std::string BoardName;
  std::string BoardPath;
  std::string BoardDescription;
  std::optional<std::string> Image; // the image that ran; absent: the host build
  RunFaults Faults;
};

// For the summary: "host build" or "image <path>".
std::string ModuleName(const std::optional<std::string>& Image);

} // namespace boardsim

// The short human summary of one run: status, virtual time, accesses by device and kind, how
// many pads ended up different from how they started and, with --pads, what happened to each.
#pragma once

#include "sim/Soc.h"
#include "tools/boardsim/shared/BoardStep.h"
#include "tools/boardsim/shared/PadView.h"
#include "tools/run/HostRun.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct RunReport {
  std::string BoardName;
  std::string BoardPath;
  std::optional<std::string> Image; // the image that ran; absent: the host build
  std::optional<uint32_t> Status;
  std::string Failure;
  PadChanges Pads;
  BoardStepReport Step;
  std::optional<std::vector<PadRecord>> PadDetail = std::nullopt; // --pads
};

// The report of a boot that has run on Soc, whose pads were PadsBefore at its start; without the
// pads' detail.
RunReport ReportRun(std::string BoardName, std::string BoardPath, std::optional<std::string> Image,
                    const tools::RunResult& Result, const sim::Soc& Soc,
                    const std::vector<PadState>& PadsBefore);
// The detail of the pads Wanted (empty: every pad the boot accessed).
std::vector<PadRecord> ViewRunPads(const RunReport& Report, const sim::Soc& Soc,
                                   const std::vector<PadState>& PadsBefore,
                                   const std::vector<PadRef>& Wanted);

void PrintSummary(std::ostream& Out, const RunReport& Report, const sim::Board& Board);

// Why a run did not return (the first line of Failure: what stopped it, and for an image where),
// then the last ten accesses from the trace, for both forms alike.
std::string DescribeFailure(const std::string& Failure, const sim::Trace& Trace);

// The summary's last part, which a saved trace of a boot reproduces: the PMIC selection, the
// board step and the PMIC bus transactions.
void PrintStepAndBus(std::ostream& Out, const BoardStepReport& Step);

} // namespace boardsim

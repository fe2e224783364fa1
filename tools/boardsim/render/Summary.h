// The short human summary of one run: status, virtual time, accesses by device and kind, how
// many pads ended up different from how they started and, with --pads, what happened to each.
#pragma once

#include "sim/Soc.h"
#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/analysis/RunHeader.h"
#include "tools/boardsim/render/BusLines.h"
#include "tools/boardsim/render/Vcd.h"
#include "tools/run/HostRun.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// "struck at access 1234 (0.411 ms)", "struck at 0.432 ms, after the module's last access: it
// could not see it", "did not strike".
std::string DescribeStrike(const std::optional<sim::Strike>& Struck, uint64_t Accesses);

// "board", "about" (a board's description, when it has one), "module" and "faults": a faulted
// run says so before anything else, with each fault as given.
void PrintHeader(std::ostream& Out, const RunHeader& Header);

struct RunReport {
  RunHeader Header;
  std::optional<uint32_t> Status;
  std::string Failure;
  PadChanges Pads;
  BoardStepReport Step;
  BusListing Listing;
  std::optional<WaveformReport> Waveform = std::nullopt;          // with --vcd
  std::optional<std::vector<PadRecord>> PadDetail = std::nullopt; // --pads
  std::optional<uint32_t> StackUsed = std::nullopt; // the image's; absent for the host build
  uint32_t StackBytes = 0;                          // the stack the image had
};

// "812 of 65280 bytes": how deep a run wrote into its stack, of what it had.
std::string DescribeStack(uint32_t Used, uint32_t Size);

// The report of a boot that has run on Soc, whose pads were PadsBefore at its start; without the
// pads' detail, the bus listing and the waveform.
RunReport ReportRun(RunHeader Header, const tools::RunResult& Result, const sim::Soc& Soc,
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
void PrintStepAndBus(std::ostream& Out, const BoardStepReport& Step, const BusListing& Listing);

} // namespace boardsim

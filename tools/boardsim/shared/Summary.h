// The short human summary of one run: status, virtual time, accesses by device and kind, and
// how many pads ended up different from how they started.
#pragma once

#include "sim/Soc.h"
#include "tools/boardsim/shared/BoardStep.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct PadState {
  uint32_t Config;
  bool Level;
};

// Every pad of the three communities, as the module would read it.
std::vector<PadState> SnapshotPads(const sim::GpioPads& Gpio);

struct PadChanges {
  unsigned Configuration = 0;
  unsigned Level = 0;
};

PadChanges ComparePads(const std::vector<PadState>& Before, const std::vector<PadState>& After);

struct RunReport {
  std::string BoardName;
  std::string BoardPath;
  std::optional<std::string> Image; // the image that ran; absent: the host build
  std::optional<uint32_t> Status;
  std::string Failure;
  PadChanges Pads;
  BoardStepReport Step;
  std::optional<uint32_t> StackUsed; // the image's; absent for the host build
  uint32_t StackBytes = 0;           // the stack the image had
};

// "812 of 65280 bytes": how deep a run wrote into its stack, of what it had.
std::string DescribeStack(uint32_t Used, uint32_t Size);

void PrintSummary(std::ostream& Out, const RunReport& Report, const sim::Board& Board);

// Why a run did not return (the first line of Failure: what stopped it, and for an image where),
// then the last ten accesses from the trace, for both forms alike.
std::string DescribeFailure(const std::string& Failure, const sim::Trace& Trace);

// The summary's last part, which a saved trace of a boot reproduces: the PMIC selection, the
// board step and the PMIC bus transactions.
void PrintStepAndBus(std::ostream& Out, const BoardStepReport& Step);

} // namespace boardsim

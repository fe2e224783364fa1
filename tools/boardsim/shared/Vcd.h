// The waveform of a run as a Value Change Dump (IEEE 1364 VCD), in the run's virtual time: the
// PMIC bus's SCL and SDA as the I2C controller drives them, the grant of the P-Unit's bus
// semaphore to the module, and the level of every pad the module drives after its GPIO pass.
// Like every other view it is derived from the trace (through the decoded bus view); the board
// supplies the bus clock and the faults that decide which byte went unacknowledged.
#pragma once

#include "common/files/OutputFile.h"
#include "sim/BoardConfig.h"
#include "sim/Trace.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// Bytes are drawn back to back from a transaction's first command, nine bit times each (eight
// bits and the acknowledge) and as long again for the address, as the controller model times
// them; start, repeated start and stop fall inside those bit times. A transaction that would not
// be over by the next one's first command or by the end of the trace (a clock too slow for the
// run) is a tools::ToolError (exit 2), before anything is written: the waveform never tells
// another story than the trace.
void WriteVcd(std::ostream& Out, const std::vector<sim::Access>& Trace,
              const sim::BoardConfig& Board);

// Where --vcd goes, if anywhere. The file is opened before the run, so that a path that cannot be
// written is refused (exit 2) before any time is spent.
class VcdOutput {
public:
  explicit VcdOutput(const std::optional<std::string>& Path);
  void Write(const std::vector<sim::Access>& Trace, const sim::BoardConfig& Board);

private:
  std::string path_;
  std::optional<files::OutputFile> file_;
};

} // namespace boardsim

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

// Where a dump ends: the run's last access, or later when the last transaction is still on the
// wire then.
struct VcdExtent {
  uint64_t EndNs;
  uint64_t RunEndNs;
};

// Bytes are drawn as the controller puts them on the wire (tools/boardsim/analysis/BusWire.h);
// start, repeated start and stop fall inside their bit times. A transaction that would not be
// over by the next one's first command (a clock too slow for the run) is a tools::ToolError
// (exit 2), before anything is written: the waveform never tells another story than the trace.
// The last transaction is drawn to its stop, past the run's end if need be.
// The last access's time: where a run ends.
uint64_t RunEndNs(const std::vector<sim::Access>& Trace);

VcdExtent WriteVcd(std::ostream& Out, const std::vector<sim::Access>& Trace,
                   const sim::BoardConfig& Board);

// What became of --vcd, for the summary.
struct WaveformReport {
  std::string Path;
  bool Written = false;
  uint64_t EndNs = 0;
  uint64_t RunEndNs = 0;
  std::string Refused; // why it was not drawn
};

// "written to bus.vcd, to 0.211 ms: the last transaction is on the wire for 0.058 ms after the
// run's end at 0.153 ms", or why it was not written.
std::string DescribeWaveform(const WaveformReport& Report);

// A waveform that could not be drawn is bad input (exit 2), reported once the summary is out:
// a refused waveform never costs the summary.
void RefuseUndrawnWaveform(const std::optional<WaveformReport>& Report);

// Where --vcd goes, if anywhere. The file is opened before the run, so that a path that cannot be
// written is refused (exit 2) before any time is spent; a waveform that cannot be drawn leaves it
// as it was.
class VcdOutput {
public:
  explicit VcdOutput(const std::optional<std::string>& Path);
  // Nothing without --vcd.
  std::optional<WaveformReport> Write(const std::vector<sim::Access>& Trace,
                                      const sim::BoardConfig& Board);

private:
  std::string path_;
  std::optional<files::OutputFile> file_;
};

} // namespace boardsim

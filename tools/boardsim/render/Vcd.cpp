#include "tools/boardsim/render/Vcd.h"

#include "common/Format.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/analysis/BusWire.h"
#include "tools/boardsim/render/BusLines.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <string>

namespace boardsim {

namespace {

constexpr uint32_t BitsPerByte = 9; // eight data bits and the acknowledge

enum Signal : size_t { Scl, Sda, Grant, FirstPad };

struct Change {
  uint64_t TimeNs;
  size_t Signal;
  char Level; // '0' or '1'
};

// SCL and SDA as the controller drives them. Each bit of time T starts with SCL low: SDA takes
// the bit at T/4 and SCL is high from T/2 to the end. Start, repeated start and stop are carved
// out of the first and the last bit of a transaction, so that it fits the controller's timing
// and the next transaction may start as soon as the bus is free.
class I2cLines {
public:
  I2cLines(uint64_t BitNs, std::vector<Change>& Out) : bit_(BitNs), out_(Out) {}

  void Transaction(uint64_t StartNs, const std::vector<WireByte>& Bytes) {
    uint64_t at = StartNs;
    for (size_t i = 0; i < Bytes.size(); ++i) {
      for (unsigned bit = 0; bit < BitsPerByte; ++bit) {
        const bool level =
            bit < 8 ? ((Bytes[i].Bits >> (7 - bit)) & 1) != 0 : !Bytes[i].Acknowledged;
        uint64_t levelAt = 4;
        if (i == 0 && bit == 0) {
          // Start: SDA falls while SCL is high.
          Set(at, Sda, false);
          Set(Sixteenths(at, 2), Scl, false);
        } else if (Bytes[i].RepeatedStart && bit == 0) {
          // Repeated start: SDA rises while SCL is low, then falls while SCL is high.
          Set(Sixteenths(at, 1), Sda, true);
          Set(Sixteenths(at, 2), Scl, true);
          Set(Sixteenths(at, 3), Sda, false);
          Set(Sixteenths(at, 4), Scl, false);
          levelAt = 6;
        }
        Set(Sixteenths(at, levelAt), Sda, level);
        Set(Sixteenths(at, 8), Scl, true);
        if (i + 1 < Bytes.size() || bit + 1 < BitsPerByte) {
          Set(Sixteenths(at, 16), Scl, false);
        } else {
          // After the last acknowledge, stop: SDA rises while SCL is high.
          Set(Sixteenths(at, 10), Scl, false);
          Set(Sixteenths(at, 11), Sda, false);
          Set(Sixteenths(at, 12), Scl, true);
          Set(Sixteenths(at, 14), Sda, true);
        }
        at += bit_;
      }
    }
  }

private:
  uint64_t Sixteenths(uint64_t BitStart, uint64_t N) const { return BitStart + bit_ * N / 16; }

  void Set(uint64_t TimeNs, size_t Line, bool Level) {
    bool& now = Line == Scl ? scl_ : sda_;
    if (now != Level) {
      now = Level;
      out_.push_back({TimeNs, Line, Level ? '1' : '0'});
    }
  }

  uint64_t bit_;
  std::vector<Change>& out_;
  bool scl_ = true;
  bool sda_ = true;
};

// Identifiers are strings of the printable characters '!' to '~'.
std::string Identifier(size_t Index) {
  std::string id;
  do {
    id += static_cast<char>('!' + Index % 94);
    Index /= 94;
  } while (Index != 0);
  return id;
}

} // namespace

uint64_t RunEndNs(const std::vector<sim::Access>& Trace) {
  return Trace.empty() ? 0 : Trace.back().TimeNs;
}

namespace {

// The grant of each semaphore hold, rising and falling.
void AddGrants(const sim::decode::BusActivity& Bus, std::vector<Change>& Changes) {
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    if (hold.Granted) {
      Changes.push_back({hold.AcquireNs, Grant, '1'});
      if (hold.Released) {
        Changes.push_back({hold.ReleaseNs, Grant, '0'});
      }
    }
  }
}

// The pads the step drove, named by community and pad, in that order, after Names' signals.
void AddPads(const BoardStepReport& Step, std::vector<std::string>& Names,
             std::vector<Change>& Changes) {
  std::map<std::pair<uint32_t, uint32_t>, std::vector<Change>> pads;
  for (const StepItem& item : Step.Steps) {
    if (item.Kind == StepKind::PadDriven) {
      pads[{item.Community, item.Pad}].push_back({item.TimeNs, 0, item.High ? '1' : '0'});
    }
  }
  for (const auto& [pad, levels] : pads) {
    for (const Change& level : levels) {
      Changes.push_back({level.TimeNs, Names.size(), level.Level});
    }
    Names.push_back("pad_" + tools::Hex(pad.first, 4) + "_" + std::to_string(pad.second));
  }
}

// The header, the levels at time 0, then each change in time order, to EndNs.
void Dump(std::ostream& Out, const std::vector<std::string>& Names,
          const std::vector<Change>& Changes, uint64_t EndNs) {
  Out << "$version boardsim $end\n$timescale 1 ns $end\n$scope module board $end\n";
  for (size_t i = 0; i < Names.size(); ++i) {
    Out << "$var wire 1 " << Identifier(i) << ' ' << Names[i] << " $end\n";
  }
  Out << "$upscope $end\n$enddefinitions $end\n";

  // The bus idles high; the grant starts released; a pad is unknown until the module drives it.
  std::vector<char> levels(Names.size(), 'x');
  levels[Scl] = levels[Sda] = '1';
  levels[Grant] = '0';
  size_t next = 0;
  for (; next < Changes.size() && Changes[next].TimeNs == 0; ++next) {
    levels[Changes[next].Signal] = Changes[next].Level;
  }
  Out << "#0\n$dumpvars\n";
  for (size_t i = 0; i < Names.size(); ++i) {
    Out << levels[i] << Identifier(i) << '\n';
  }
  Out << "$end\n";
  uint64_t now = 0;
  for (; next < Changes.size(); ++next) {
    const Change& c = Changes[next];
    if (c.Level == levels[c.Signal]) {
      continue;
    }
    levels[c.Signal] = c.Level;
    if (c.TimeNs != now) {
      now = c.TimeNs;
      Out << '#' << now << '\n';
    }
    Out << c.Level << Identifier(c.Signal) << '\n';
  }
  // The dump runs to the end of the run, or of the last transaction on the wire.
  if (EndNs > now) {
    Out << '#' << EndNs << '\n';
  }
}

} // namespace

VcdExtent WriteVcd(std::ostream& Out, const std::vector<sim::Access>& Trace,
                   const sim::BoardConfig& Board) {
  // The board step's view already holds the bus and every pad the step drove.
  const BoardStepReport step = DescribeBoardStep(Trace);
  const uint64_t runEnd = RunEndNs(Trace);
  VcdExtent extent{runEnd, runEnd};

  // A clock too slow for the trace is not drawn at all.
  const std::vector<WireTransaction> wire = PutOnWire(step.Bus, Board);
  if (const auto contradiction = WireContradiction(wire, runEnd, Board)) {
    throw tools::ToolError(*contradiction + "; no waveform is drawn", tools::ExitBadInput);
  }
  std::vector<Change> changes;
  I2cLines lines(BitNs(Board), changes);
  for (const WireTransaction& t : wire) {
    lines.Transaction(t.StartNs, t.Bytes);
    extent.EndNs = std::max(extent.EndNs, t.EndNs);
  }
  AddGrants(step.Bus, changes);
  std::vector<std::string> names = {"scl", "sda", "pmic_bus_grant"};
  AddPads(step, names, changes);
  std::stable_sort(changes.begin(), changes.end(),
                   [](const Change& A, const Change& B) { return A.TimeNs < B.TimeNs; });
  Dump(Out, names, changes, extent.EndNs);
  return extent;
}

VcdOutput::VcdOutput(const std::optional<std::string>& Path) : path_(Path.value_or("")) {
  if (Path) {
    file_.emplace(*Path, "waveform");
  }
}

std::optional<WaveformReport> VcdOutput::Write(const std::vector<sim::Access>& Trace,
                                               const sim::BoardConfig& Board) {
  if (!file_) {
    return std::nullopt;
  }
  WaveformReport report;
  report.Path = path_;
  try {
    const VcdExtent extent = WriteVcd(file_->Stream(), Trace, Board);
    report.Written = true;
    report.EndNs = extent.EndNs;
    report.RunEndNs = extent.RunEndNs;
  } catch (const tools::ToolError& error) {
    report.Refused = error.what();
    return report;
  }
  file_->Finish();
  return report;
}

std::string DescribeWaveform(const WaveformReport& Report) {
  const std::string where = Report.Path == "-" ? "standard output" : tools::Printable(Report.Path);
  if (!Report.Written) {
    return "not written to " + where + ": " + Report.Refused;
  }
  std::string line = "written to " + where + ", to " + tools::Milliseconds(Report.EndNs);
  if (Report.EndNs > Report.RunEndNs) {
    line += ": the last transaction is on the wire for " +
            tools::Milliseconds(Report.EndNs - Report.RunEndNs) + " after the run's end at " +
            tools::Milliseconds(Report.RunEndNs);
  }
  return line;
}

void RefuseUndrawnWaveform(const std::optional<WaveformReport>& Report) {
  if (Report && !Report->Written) {
    throw tools::ToolError("boardsim: " + tools::Printable(Report->Path) + ": " + Report->Refused,
                           tools::ExitBadInput);
  }
}

} // namespace boardsim

#include "tools/boardsim/shared/Vcd.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/shared/BoardStep.h"
#include "tools/boardsim/shared/BusLines.h"
#include "tools/run/Hex.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <string>

namespace boardsim {

namespace {

using sim::decode::I2cTransaction;

constexpr uint32_t CommunitySize = 0x1000;
constexpr uint64_t BitsPerByte = 9; // eight data bits and the acknowledge
// The shortest bit drawn: with bytes that take no bus time (bus_hz 0) the edges still need an
// order, sixteenths of a bit apart.
constexpr uint64_t MinimumBitNs = 16;

enum Signal : size_t { Scl, Sda, Grant, FirstPad };

struct Change {
  uint64_t TimeNs;
  size_t Signal;
  char Level; // '0' or '1'
};

// One byte on the wire: eight bits, MSB first, and the acknowledge bit after them.
struct WireByte {
  uint8_t Bits;
  bool Acknowledged;
  bool DataByte;      // counted by the controller's abort-on-byte fault; address bytes are not
  bool RepeatedStart; // the byte opens a new address phase inside the transaction
};

// SCL and SDA as the controller drives them. Each bit of time T starts with SCL low: SDA takes
// the bit at T/4 and SCL is high from T/2 to the end. Start, repeated start and stop are carved
// out of the first and the last bit of a transaction, so that it fits the controller's timing
// and the next transaction may start as soon as the bus is free.
class I2cLines {
public:
  I2cLines(uint64_t BitNs, std::vector<Change>& Out) : bit_(BitNs), out_(Out) {}

  // When the transaction's last bit would end, drawn from StartNs.
  uint64_t EndOf(uint64_t StartNs, const std::vector<WireByte>& Bytes) const {
    return std::max(StartNs, busFreeNs_) + Bytes.size() * BitsPerByte * bit_;
  }

  void Transaction(uint64_t StartNs, const std::vector<WireByte>& Bytes) {
    uint64_t at = std::max(StartNs, busFreeNs_);
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
    busFreeNs_ = at;
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
  uint64_t busFreeNs_ = 0;
};

// Whether the device a transaction names answers its address on this board.
bool Answers(const I2cTransaction& T, const sim::BoardConfig& Board) {
  for (const sim::I2cDeviceConfig& device : Board.I2cDevices) {
    if (device.Address == T.Device && device.TenBit == T.TenBit) {
      return !device.NeverAcknowledges;
    }
  }
  return false;
}

// The address phase: the 7-bit address and R/W, or the 10-bit form's two bytes.
void AddAddress(const I2cTransaction& T, bool Read, std::vector<WireByte>& Bytes) {
  const uint8_t rw = Read ? 1 : 0;
  const bool repeated = !Bytes.empty();
  if (T.TenBit) {
    Bytes.push_back(
        {static_cast<uint8_t>(0xF0 | ((T.Device >> 7) & 0x06) | rw), true, false, repeated});
    Bytes.push_back({static_cast<uint8_t>(T.Device), true, false, false});
  } else {
    Bytes.push_back({static_cast<uint8_t>(T.Device << 1 | rw), true, false, repeated});
  }
}

// What the controller put on the wire for T. The module's transactions are a register read
// (register index, repeated start, one byte read and not acknowledged) or a register write
// (register index and value); an abort ends at the byte that was not acknowledged.
std::vector<WireByte> WireBytes(const I2cTransaction& T, const sim::BoardConfig& Board,
                                uint64_t& DataBytesMoved) {
  std::vector<WireByte> bytes;
  if (T.HasRegister || !T.Read) {
    AddAddress(T, false, bytes);
    if (T.HasRegister) {
      bytes.push_back({T.Register, true, true, false});
    }
    if (T.HasValue && !T.Read) {
      bytes.push_back({T.Value, true, true, false});
    }
  }
  if (T.Read) {
    AddAddress(T, true, bytes);
    // A byte the module never took off the FIFO is drawn as the idle bus reads.
    bytes.push_back({T.HasValue ? T.Value : uint8_t{0xFF}, false, true, false});
  }

  // A device that does not answer refuses its address; otherwise the only refusal the bus knows
  // is the controller's abort on the Nth data byte since reset.
  const size_t addressEnd = T.TenBit ? 2 : 1;
  size_t refused = T.Aborted && !Answers(T, Board) ? addressEnd - 1 : bytes.size();
  for (size_t i = 0; i < bytes.size() && i <= refused; ++i) {
    if (bytes[i].DataByte && ++DataBytesMoved == Board.I2c.AbortOnByte && T.Aborted) {
      refused = i;
    }
  }
  if (T.Aborted && refused == bytes.size()) {
    refused = addressEnd - 1; // an abort the board does not explain: shown on the address
  }
  if (refused < bytes.size()) {
    bytes[refused].Acknowledged = false;
    bytes.resize(refused + 1);
  }
  return bytes;
}

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

void WriteVcd(std::ostream& Out, const std::vector<sim::Access>& Trace,
              const sim::BoardConfig& Board) {
  // The board step's view already holds the bus and every pad the step drove.
  const BoardStepReport step = DescribeBoardStep(Trace);
  const sim::decode::BusActivity& bus = step.Bus;
  std::vector<Change> changes;

  // A controller that is missing, never enabled or stalled moves nothing on the bus.
  if (Board.I2c.Present && !Board.I2c.NeverEnables && !Board.I2c.Stalled) {
    const uint64_t bitNs = std::max<uint64_t>(
        MinimumBitNs, Board.I2c.BusHz == 0 ? 0 : 1'000'000'000ull / Board.I2c.BusHz);
    I2cLines lines(bitNs, changes);
    uint64_t dataBytesMoved = 0;
    const uint64_t runEnd = Trace.empty() ? 0 : Trace.back().TimeNs;
    for (size_t i = 0; i < bus.I2c.size(); ++i) {
      const I2cTransaction& t = bus.I2c[i];
      const std::vector<WireByte> bytes = WireBytes(t, Board, dataBytesMoved);
      // The wire must be quiet again by the next transaction's first command and by the end of
      // the run; a clock too slow for that is not drawn at all. (A write may still be on the
      // wire when the module releases the semaphore: it waits for the FIFO, not for the stop.)
      const bool last = i + 1 == bus.I2c.size();
      const uint64_t bound = last ? runEnd : bus.I2c[i + 1].TimeNs;
      if (const uint64_t end = lines.EndOf(t.TimeNs, bytes); end > bound) {
        throw tools::ToolError(
            "at bus_hz " + std::to_string(Board.I2c.BusHz) + " the transaction at " +
                Milliseconds(t.TimeNs) + " would hold the bus until " + Milliseconds(end) +
                (last ? ", past the end of the run at " : ", past the next one at ") +
                Milliseconds(bound) + "; no waveform is drawn",
            tools::ExitBadInput);
      }
      lines.Transaction(t.TimeNs, bytes);
    }
  }

  for (const sim::decode::SemaphoreHold& hold : bus.Holds) {
    if (hold.Granted) {
      changes.push_back({hold.AcquireNs, Grant, '1'});
      if (hold.Released) {
        changes.push_back({hold.ReleaseNs, Grant, '0'});
      }
    }
  }

  // Pads, named by community and pad, in that order.
  std::map<std::pair<uint32_t, uint32_t>, std::vector<Change>> pads;
  for (const StepItem& item : step.Steps) {
    if (item.Kind == StepKind::PadDriven) {
      pads[{item.Community, item.Pad}].push_back({item.TimeNs, 0, item.High ? '1' : '0'});
    }
  }
  std::vector<std::string> names = {"scl", "sda", "pmic_bus_grant"};
  for (const auto& [pad, levels] : pads) {
    for (const Change& level : levels) {
      changes.push_back({level.TimeNs, names.size(), level.Level});
    }
    names.push_back("pad_" + tools::Hex(pad.first * CommunitySize, 4) + "_" +
                    std::to_string(pad.second));
  }
  std::stable_sort(changes.begin(), changes.end(),
                   [](const Change& A, const Change& B) { return A.TimeNs < B.TimeNs; });

  Out << "$version boardsim $end\n$timescale 1 ns $end\n$scope module board $end\n";
  for (size_t i = 0; i < names.size(); ++i) {
    Out << "$var wire 1 " << Identifier(i) << ' ' << names[i] << " $end\n";
  }
  Out << "$upscope $end\n$enddefinitions $end\n";

  // The bus idles high; the grant starts released; a pad is unknown until the module drives it.
  std::vector<char> levels(names.size(), 'x');
  levels[Scl] = levels[Sda] = '1';
  levels[Grant] = '0';
  size_t next = 0;
  for (; next < changes.size() && changes[next].TimeNs == 0; ++next) {
    levels[changes[next].Signal] = changes[next].Level;
  }
  Out << "#0\n$dumpvars\n";
  for (size_t i = 0; i < names.size(); ++i) {
    Out << levels[i] << Identifier(i) << '\n';
  }
  Out << "$end\n";
  uint64_t now = 0;
  for (; next < changes.size(); ++next) {
    const Change& c = changes[next];
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
  // The dump runs to the end of the run.
  const uint64_t end = Trace.empty() ? 0 : Trace.back().TimeNs;
  if (end > now) {
    Out << '#' << end << '\n';
  }
}

VcdOutput::VcdOutput(const std::optional<std::string>& Path) : path_(Path.value_or("")) {
  if (Path) {
    file_.emplace(*Path, "waveform");
  }
}

void VcdOutput::Write(const std::vector<sim::Access>& Trace, const sim::BoardConfig& Board) {
  if (!file_) {
    return;
  }
  try {
    WriteVcd(file_->Stream(), Trace, Board);
  } catch (const tools::ToolError& error) {
    throw tools::ToolError("boardsim: " + tools::Printable(path_) + ": " + error.what(),
                           error.ExitStatus());
  }
  file_->Finish();
}

} // namespace boardsim

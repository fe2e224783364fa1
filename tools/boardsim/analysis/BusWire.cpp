#include "tools/boardsim/analysis/BusWire.h"

#include "common/Format.h"

#include <algorithm>

namespace boardsim {

namespace {

using sim::decode::I2cTransaction;

constexpr uint64_t BitsPerByte = 9; // eight data bits and the acknowledge
constexpr uint64_t MinimumBitNs = 16;

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

  // A device that does not answer refuses its address; otherwise the only refusals the bus knows
  // are the controller's aborts on the Nth data bytes since reset.
  const size_t addressEnd = T.TenBit ? 2 : 1;
  size_t refused = T.Aborted && !Answers(T, Board) ? addressEnd - 1 : bytes.size();
  for (size_t i = 0; i < bytes.size() && i <= refused; ++i) {
    const auto& refusals = Board.I2c.AbortOnBytes;
    if (bytes[i].DataByte && std::count(refusals.begin(), refusals.end(), ++DataBytesMoved) != 0 &&
        T.Aborted) {
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

} // namespace

uint64_t BitNs(const sim::BoardConfig& Board) {
  return std::max<uint64_t>(MinimumBitNs,
                            Board.I2c.BusHz == 0 ? 0 : 1'000'000'000ull / Board.I2c.BusHz);
}

std::vector<WireTransaction> PutOnWire(const sim::decode::BusActivity& Bus,
                                       const sim::BoardConfig& Board) {
  std::vector<WireTransaction> wire;
  if (!Board.I2c.Present || Board.I2c.NeverEnables || Board.I2c.Stalled) {
    return wire;
  }
  const uint64_t bit = BitNs(Board);
  uint64_t dataBytesMoved = 0;
  uint64_t busFree = 0;
  for (const I2cTransaction& t : Bus.I2c) {
    std::vector<WireByte> bytes = WireBytes(t, Board, dataBytesMoved);
    const uint64_t start = std::max(t.TimeNs, busFree);
    busFree = start + bytes.size() * BitsPerByte * bit;
    wire.push_back(
        {t.TimeNs, start, busFree, std::move(bytes), !t.Read && t.Stopped && !t.Aborted});
  }
  return wire;
}

std::optional<std::string> WireContradiction(const std::vector<WireTransaction>& Wire,
                                             uint64_t RunEndNs, const sim::BoardConfig& Board) {
  for (size_t i = 0; i < Wire.size(); ++i) {
    const bool last = i + 1 == Wire.size();
    const uint64_t movedOn = last ? RunEndNs : Wire[i + 1].CommandNs;
    if (!Wire[i].HandedOver && Wire[i].EndNs > movedOn) {
      return "at bus_hz " + std::to_string(Board.I2c.BusHz) + " the transaction at " +
             tools::Milliseconds(Wire[i].CommandNs) + " would hold the bus until " +
             tools::Milliseconds(Wire[i].EndNs) +
             (last ? ", past the end of the run at " : ", past the next one at ") +
             tools::Milliseconds(movedOn);
    }
  }
  return std::nullopt;
}

WireEnds WireEndsOf(const sim::decode::BusActivity& Bus, const sim::BoardConfig& Board,
                    uint64_t RunEndNs) {
  WireEnds ends;
  const std::vector<WireTransaction> wire = PutOnWire(Bus, Board);
  if (WireContradiction(wire, RunEndNs, Board)) {
    return ends;
  }
  for (const WireTransaction& t : wire) {
    ends[t.CommandNs] = t.EndNs;
  }
  return ends;
}

} // namespace boardsim

// The PMIC bus's transactions as the I2C controller puts them on the wire: each one's bytes back to
// back from its first command, or from the end of the one before while that is still on the wire
// (the controller sends queued commands as the bus frees), nine bit times each (eight bits and the
// acknowledge) and as long again for the address, at the board's bus clock. The trace says when a
// transaction was queued; the board's clock says how long its bytes take, so a write may still be
// on the wire after the module has released the bus semaphore, or has queued the next transaction
// (it waits for the transmit FIFO, not for the stop).
#pragma once

#include "sim/BoardConfig.h"
#include "sim/decode/BusDecoder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// One byte on the wire: eight bits, MSB first, and the acknowledge bit after them.
struct WireByte {
  uint8_t Bits;
  bool Acknowledged;
  bool DataByte;      // counted by the controller's abort-on-byte fault; address bytes are not
  bool RepeatedStart; // the byte opens a new address phase inside the transaction
};

struct WireTransaction {
  uint64_t CommandNs; // the first command queued
  uint64_t StartNs;   // the start condition
  uint64_t EndNs;     // the last bit's end: the stop, or the refused byte's acknowledge bit
  std::vector<WireByte> Bytes;
  // A write queued whole, stop included, and not aborted: the module need not wait for its
  // bytes, and may go on (queue the next transaction, end the run) while they are on the wire.
  // Every other transaction was waited for: its byte read, its abort seen.
  bool HandedOver;
};

// The length of one bit: at least a sixteenth of a bit per edge, so that a bus whose bytes take no
// time (bus_hz 0) still draws its edges in order.
uint64_t BitNs(const sim::BoardConfig& Board);

// Bus's transactions in order, as put on the wire; none when the controller moves nothing (missing,
// never enabled, stalled).
std::vector<WireTransaction> PutOnWire(const sim::decode::BusActivity& Bus,
                                       const sim::BoardConfig& Board);

// Why the wire cannot be as the trace tells it, if it cannot: a transaction the module waited for
// (a read, an abort) must be off the wire by the time the module went on, the next
// transaction's first command or the end of the run (RunEndNs); a clock too slow for that would
// tell another story than the trace. A write handed over may still be on the wire then.
std::optional<std::string> WireContradiction(const std::vector<WireTransaction>& Wire,
                                             uint64_t RunEndNs, const sim::BoardConfig& Board);

// When each transaction leaves the wire, by the time of its first command (the transaction's
// TimeNs); nothing where the wire contradicts the trace.
using WireEnds = std::map<uint64_t, uint64_t>;
WireEnds WireEndsOf(const sim::decode::BusActivity& Bus, const sim::BoardConfig& Board,
                    uint64_t RunEndNs);

} // namespace boardsim

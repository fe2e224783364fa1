// What a faulted run did wrong, judged against the same board's fault-free run. A fault may make
// the module do less, wait longer or give up, but it must not write where the fault-free run does
// not (a stray write), unless a row of the table of mends (sim/Mends.h) accounts for it: the PMIC
// bus controller switched off and on again after a byte wait gave up, selection moving on to the
// next variant whose device answers once a variant's identification read failed (the writes of
// every selection the board allows are added to the reference), or a write the design states for
// a fault (variant 1's 13-row table with the code left at 0). Where the reference does write, a
// value it never writes is sound when it was built on what the register really held (an earlier
// write of the same run did not take, say), and a fault when the last read of that register failed
// (an I2C read that was aborted or given up, a memory-mapped read of all ones): the write was built
// on bits that were never read, unless the table says the register is rebuilt from an earlier
// reading (the semaphore's release). PMIC registers are judged by the transactions decoded from
// the trace, the rest by their memory-mapped or port address.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace sim {

enum class BadWriteKind : uint8_t { Stray, BuiltOnFailedRead };

struct BadWrite {
  BadWriteKind Kind;
  uint64_t Seq;     // the access (for a PMIC register write, the one that queued its value)
  std::string What; // "W 32 0xFED0C5D8 0xFFFFFFFD" or "write 0x34 reg 0x30 <- 0xFF"
};

class ReferenceWrites {
public:
  // Trace: the fault-free run's accesses (PM-timer reads may be left out; they write nothing).
  explicit ReferenceWrites(const std::vector<Access>& Trace,
                           const decode::BusAddresses& Where = {});

  // Adds the writes of another fault-free run of the same target: one that took another way the
  // module documents (detection settling on another variant).
  void Add(const std::vector<Access>& Trace);

  // Every write of Faulted that the reference does not account for, in trace order.
  std::vector<BadWrite> Check(const std::vector<Access>& Faulted) const;

private:
  using RegisterWrite = std::tuple<AccessOp, uint8_t, uint32_t>; // op, width, address
  using PmicWrite = std::pair<uint16_t, uint8_t>;                // device, register
  decode::BusAddresses where_;
  bool recovery_;                // the controller switched off and on is expected
  std::set<uint32_t> knownBits_; // where a release may rebuild a register it could not read
  std::map<RegisterWrite, std::set<uint32_t>> writes_; // the values written there
  std::map<PmicWrite, std::set<uint32_t>> pmicWrites_;
};

// A fault that makes a variant's identification read fail sends detection on to the next variant,
// which is how the module is meant to work on a board without that variant: what the next
// selection writes is no invented write. These are the fault-free boards for that: each fitted
// device of Detection (the addresses detection asks, in its order), with those asked before it,
// misses that one read (a later selection finds it again), and then is missing altogether. The
// writes of the same run on each join the reference where a stray write is to be judged.
std::vector<BoardConfig> OtherSelectionBoards(const BoardConfig& Board,
                                              const std::vector<uint16_t>& Detection);

} // namespace sim

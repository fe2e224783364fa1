// The PMIC bus traffic of a run, one line per item for people reading it: I2C transactions,
// semaphore holds and sideband messages, with virtual times in milliseconds.
#pragma once

#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/BusHolds.h"
#include "tools/boardsim/analysis/BusWire.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

// How the lines are made: with Wire, a transaction whose hold was released before its stop says
// so; runs of identical transactions (three or more, each alone or each in a hold of its own) fold
// into one line unless All is set.
struct BusListing {
  WireEnds Wire;
  bool All = false;
};

// "0.131 ms  read  0x34 reg 0x03 -> 0x41  under semaphore", and a run folded:
// "0.229-64.940 ms  556 x read  0x5E reg 0x50 -> 0xA1  under semaphore"
std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus,
                                              const BusListing& Listing = {});

// Transactions, semaphore holds and the sideband messages that are not the semaphore's own
// handshake (those the holds stand for), in the order of their times.
std::vector<std::string> DescribeBusActivity(const sim::decode::BusActivity& Bus,
                                             const BusListing& Listing = {});

// "3 transactions, 3 semaphore holds, 21 sideband messages"
std::string CountBusActivity(const sim::decode::BusActivity& Bus);

} // namespace boardsim

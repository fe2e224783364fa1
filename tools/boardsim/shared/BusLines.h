// The PMIC bus traffic of a run, one line per item for people reading it: I2C transactions,
// semaphore holds and sideband messages, with virtual times in milliseconds.
#pragma once

#include "sim/decode/BusDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

// "100.398 ms"
std::string Milliseconds(uint64_t Ns);

// A granted hold of the PMIC bus semaphore covers Time.
bool UnderSemaphore(const sim::decode::BusActivity& Bus, uint64_t Time);

// "0.131 ms  read  0x34 reg 0x03 -> 0x41  under semaphore"
std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus);

// Transactions, semaphore holds and the sideband messages that are not the semaphore's own
// handshake (those the holds stand for), in the order of their times.
std::vector<std::string> DescribeBusActivity(const sim::decode::BusActivity& Bus);

// The items at or after FromNs (and before ToNs): the traffic of one part of a run.
sim::decode::BusActivity BusActivityBetween(const sim::decode::BusActivity& Bus, uint64_t FromNs,
                                            uint64_t ToNs);

// "3 transactions, 3 semaphore holds, 21 sideband messages"
std::string CountBusActivity(const sim::decode::BusActivity& Bus);

} // namespace boardsim

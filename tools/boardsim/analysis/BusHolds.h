// Where the PMIC bus's transactions stand against the semaphore's holds, and a part of a run's
// bus traffic.
#pragma once

#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/BusWire.h"

#include <cstdint>

namespace boardsim {

// A transaction is under semaphore when it starts inside a granted hold of the PMIC bus semaphore:
// the hold covers Time.
bool UnderSemaphore(const sim::decode::BusActivity& Bus, uint64_t Time);

// The hold a transaction started under, and that hold's release when it came before the
// transaction's stop (the module hands a write to the FIFO and lets go of the bus).
const sim::decode::SemaphoreHold* HoldOf(const sim::decode::BusActivity& Bus, uint64_t Time);
bool ReleasedOnTheWire(const sim::decode::SemaphoreHold& Hold, const WireEnds& Wire, uint64_t Time);

// The items at or after FromNs (and before ToNs): the traffic of one part of a run.
sim::decode::BusActivity BusActivityBetween(const sim::decode::BusActivity& Bus, uint64_t FromNs,
                                            uint64_t ToNs);

// When a hold began: its request, or its grant where none was seen.
uint64_t HoldStart(const sim::decode::SemaphoreHold& H);

} // namespace boardsim

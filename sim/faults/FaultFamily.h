// What the families of fault kinds share (sim/faults/*Faults.cpp): their tables and the helpers
// their entries use. Not for use outside sim/faults/.
#pragma once

#include "common/Format.h"
#include "sim/faults/FaultKinds.h"

#include <span>
#include <stdexcept>
#include <string>

namespace sim::faults {

std::span<const FaultKindInfo> BusFaultKinds();
std::span<const FaultKindInfo> PunitFaultKinds();
std::span<const FaultKindInfo> PadFaultKinds();
std::span<const FaultKindInfo> TimerFaultKinds();
std::span<const FaultKindInfo> HobFaultKinds();

[[noreturn]] inline void Refuse(const std::string& Why) {
  throw std::invalid_argument(Why);
}

// The fitted 7-bit device at Address; refused when there is none.
I2cDeviceConfig& DeviceAt(BoardConfig& Board, uint32_t Address);

// Kinds that take no WHEN and strike once a flag is set: refused on a board that sets it already.
void SetFlag(bool& Flag, const FaultPoint& Point, const char* Already);

} // namespace sim::faults

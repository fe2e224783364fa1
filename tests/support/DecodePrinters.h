// Decoded bus activity printed readably in test failures.
#pragma once

#include "sim/decode/BusDecoder.h"

#include <ostream>

namespace sim::decode {

inline void PrintTo(const I2cTransaction& T, std::ostream* Os) {
  *Os << FormatTransaction(T) << (T.Stopped ? " stopped" : "") << (T.TenBit ? " 10-bit" : "");
}

inline void PrintTo(const SidebandMessage& M, std::ostream* Os) {
  *Os << FormatMessage(M) << " enables 0x" << std::hex << int(M.ByteEnables) << std::dec
      << " width " << int(M.ValueWidth);
}

inline void PrintTo(const SemaphoreHold& H, std::ostream* Os) {
  *Os << FormatHold(H);
}

} // namespace sim::decode

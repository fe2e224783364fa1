// Decoded bus activity printed readably in test failures.
#pragma once

#include "sim/decode/BusDecoder.h"

#include <ostream>

namespace sim::decode {

inline void PrintTo(const I2cTransaction& T, std::ostream* Os) {
  *Os << FormatTransaction(T) << (T.Stopped ? " stopped" : "") << (T.TenBit ? " 10-bit" : "")
      << " accesses " << T.FirstSeq << "-" << T.LastSeq << " until " << T.LastNs;
}

inline void PrintTo(const SidebandMessage& M, std::ostream* Os) {
  *Os << FormatMessage(M) << " enables 0x" << std::hex << int(M.ByteEnables) << std::dec
      << " width " << int(M.ValueWidth) << " access " << M.Seq;
}

inline void PrintTo(const SemaphoreHold& H, std::ostream* Os) {
  *Os << FormatHold(H) << " accesses " << H.RequestSeq << ", " << H.AcquireSeq << ", "
      << H.ReleaseSeq;
}

} // namespace sim::decode

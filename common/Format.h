// Numbers written as text, in one place beside their reading (common/Numbers.h): hex as the
// tools write registers, addresses and offsets, the lower-case digits of GDB's remote protocol,
// and virtual times in milliseconds.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

// "0x" and upper-case hex digits, at least Digits of them ("0x0085", "0xFED0C5D8"); with 1, as
// many as the value needs ("0x1F4").
std::string Hex(uint64_t Value, int Digits = 1);

// As Hex, in an even number of digits: a value read as bytes ("0x34", "0x0100").
std::string HexBytes(uint64_t Value);

// Lower-case hex digits and no prefix, as many as the value needs: GDB's remote protocol.
std::string HexDigits(uint64_t Value);

// "100.398 ms": a virtual time in nanoseconds, to the microsecond.
std::string Milliseconds(uint64_t Ns);

} // namespace tools

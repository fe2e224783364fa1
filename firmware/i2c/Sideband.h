// The SoC's sideband message interface in the host bridge (00:00.0): reads and writes of
// registers of units that sit behind it, such as the P-Unit. Each access is a short sequence of
// message register accesses that nothing else may interleave with.
#pragma once

#include <stdint.h>

constexpr uint8_t SidebandPortPunit = 0x04;

uint32_t SidebandRead(uint8_t Port, uint8_t Register);
void SidebandWrite(uint8_t Port, uint8_t Register, uint32_t Value);
// The message window reads all ones when nothing is behind it: no register's value.
constexpr uint32_t SidebandNoAnswer = 0xFFFFFFFFu;

// A read, then a write of the value read with the bits of Clear cleared and those of Set set: two
// messages, nothing in between. A read that got no answer is not written back: every bit the
// update does not own would go back set (for the bus semaphore, its grant among them). Returns
// the value read.
uint32_t SidebandUpdate(uint8_t Port, uint8_t Register, uint32_t Clear, uint32_t Set);

// A read that takes only the low byte of the result, as an 8-bit access of the data register.
uint8_t SidebandReadLowByte(uint8_t Port, uint8_t Register);

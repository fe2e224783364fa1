// Higher views of a run, derived from its trace alone: the I2C transactions on the PMIC bus, the
// sideband messages to the SoC's units and the holds of the PMIC bus semaphore. Nothing here
// looks at device state; a trace read back from its text form decodes the same.
#pragma once

#include "sim/Trace.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim::decode {

// Where the decoded registers sit.
struct BusAddresses {
  uint32_t I2cRegisters = 0xFE950000u;      // the PMIC bus controller's BAR0
  uint32_t SidebandRegisters = 0xE00000D0u; // MessageControl of 00:00.0; data and extension follow
};

// One transaction from its first queued command to its stop (or abort): a register index, then
// either a data byte written or a byte read back.
struct I2cTransaction {
  uint64_t TimeNs = 0; // the first command written
  uint16_t Device = 0; // bus address, 7-bit unless TenBit
  bool TenBit = false;
  bool Read = false;
  bool HasRegister = false;
  uint8_t Register = 0;
  bool HasValue = false; // the data byte written, or the byte the module took from the FIFO
  uint8_t Value = 0;
  bool Stopped = false; // a command with the stop bit was queued
  bool Aborted = false; // the module found the abort flag raised for it
  // The trace's access numbers of the first command and of the last access that belongs to the
  // transaction (a later command, the byte taken from the FIFO, the abort flag), and its time.
  uint64_t FirstSeq = 0;
  uint64_t LastSeq = 0;
  uint64_t LastNs = 0;
  bool operator==(const I2cTransaction&) const = default;
};

struct SidebandMessage {
  uint64_t TimeNs = 0; // the write of the message word
  uint8_t Opcode = 0;  // 0x06 read, 0x07 write
  uint8_t Port = 0;
  uint32_t Register = 0; // with the extension's bits 31:8
  uint8_t ByteEnables = 0;
  bool HasValue = false; // written data, or the data read back (at the width of that read)
  uint32_t Value = 0;
  uint8_t ValueWidth = 0;
  uint64_t Seq = 0; // the access number of the message word's write
  bool IsWrite() const { return Opcode == 0x07; }
  bool operator==(const SidebandMessage&) const = default;
};

// A request for the PMIC bus semaphore, or a grant seen without one, up to its release.
struct SemaphoreHold {
  bool Requested = false;
  uint64_t RequestNs = 0;
  bool Granted = false;
  uint64_t AcquireNs = 0; // first read that showed the grant
  bool Released = false;
  uint64_t ReleaseNs = 0; // the write that cleared the grant bit
  // The access numbers of the request's, the grant's and the release's message words (0 when
  // absent); a grant read is the read of the message's data.
  uint64_t RequestSeq = 0;
  uint64_t AcquireSeq = 0;
  uint64_t ReleaseSeq = 0;
  bool operator==(const SemaphoreHold&) const = default;
};

struct BusActivity {
  std::vector<I2cTransaction> I2c;
  std::vector<SidebandMessage> Sideband;
  std::vector<SemaphoreHold> Holds;
};

BusActivity DecodeBus(const std::vector<Access>& Trace, const BusAddresses& Where = {});

// One line per item, for people reading a run.
std::string FormatTransaction(const I2cTransaction& T);
std::string FormatMessage(const SidebandMessage& M);
std::string FormatHold(const SemaphoreHold& H);

} // namespace sim::decode

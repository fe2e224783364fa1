// A fault point: one fault the board throws, where and when it strikes, as data the board
// understands. Written on a command line as KIND, KIND:WHERE, KIND@WHEN or KIND:WHERE@WHEN
// ("byte-refused@12", "device-stops-acknowledging:0x34@3", "pad-reads-all-ones:0xFED0C5D8@6",
// "punit-reads-all-ones:0x07@4"); sim/faults/FaultKinds.h reads, writes and applies them.
#pragma once

#include <cstdint>

namespace sim {

// In the order the kinds are listed; each kind is one entry of its family (sim/faults/).
enum class FaultKind : uint8_t {
  ByteRefused,              // when: the Nth byte on the bus is not acknowledged
  DeviceStopsAcknowledging, // where: 7-bit address; when: from its Nth transfer on
  ControllerNeverEnables,
  ControllerStaysActive,
  BusStalled,              // when: the bus stops before the Nth byte
  SemaphoreNeverGranted,   // the P-Unit never answers a request
  SemaphoreGrantedLate,    // every grant comes after the module's wait has given up
  PadReadsAllOnes,         // where: a pad register; when: its first k reads
  PunitReadsAllOnes,       // where: a P-Unit register; when: its Nth sideband read only
  TimerFrozen,             // when: from the Nth PM-timer read on
  ConversionNeverEnds,     // where: the PMIC whose converter stays busy
  VerifiedWriteNeverTakes, // where: the PMIC whose checked register refuses every write
  HobZeroLength,           // where: the HOB whose length reads 0
  HobLengthBelowHeader,    // where: the HOB whose length is below its own header
  HobLengthPastEnd,        // where: the HOB whose length steps past the end of the list
  HobNoEndMarker,          // the list has no end-of-list HOB
  HobDescriptorCutShort,   // where: the descriptor HOB whose length cannot hold a descriptor
};

struct FaultPoint {
  FaultKind Kind = FaultKind::ByteRefused;
  uint32_t Where = 0;
  uint32_t When = 0;
  bool operator==(const FaultPoint&) const = default;
};

} // namespace sim

// What a board description says: the fitted parts' initial state and the faults to inject.
// Board files (JSON) are read into this; tests may also fill it directly.
#pragma once

#include "sim/Clock.h"
#include "sim/HobList.h"
#include "sim/faults/FaultPoint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Device windows start here: below it the image runner keeps its own RAM (image, stack, hand-off
// memory), and from here up every memory access goes to the board.
constexpr uint32_t DeviceMemoryBase = 0x80000000;

// The stacks the image runner can give the module: from a few frames' worth up to what a PEI
// core's 64 KiB temporary RAM stack leaves it, the default.
constexpr uint32_t MinStackBytes = 64;
constexpr uint32_t MaxStackBytes = 0xFF00;

struct PadLevel {
  uint32_t Community; // 0, 1 or 2: the communities at 0x0000, 0x1000, 0x2000
  uint32_t Pad;
  bool High;
};

// A pad-block register (physical address) that reads all ones for its first Reads reads.
struct PadFault {
  uint32_t Address;
  uint32_t Reads;
};

// The PMIC bus controller at 00:18.5: its PCI function, its state out of reset and its faults.
struct I2cControllerConfig {
  bool Present = true; // false: nothing answers at 00:18.5
  uint32_t Bar0 = 0;   // BARs and command register as earlier firmware left them
  uint32_t Bar1 = 0;
  uint16_t Command = 0;
  // Enable handshake: EnableStatus follows Enable after this many EnableStatus reads and this
  // much time, whichever ends later.
  uint32_t EnableLatencyReads = 0;
  uint64_t EnableLatencyNs = 0;
  uint32_t BusHz = 400000; // 0: bytes take no bus time at all
  uint32_t TransmitFifoDepth = 16;
  uint32_t ReceiveFifoDepth = 16;
  // Faults.
  bool NeverEnables = false; // EnableStatus never shows an enable
  bool StaysActive = false;  // Status reports activity for ever
  bool Stalled = false;      // the bus never moves: queued bytes stay queued
  // Each Nth byte moved on the bus since reset (counting from 1; address phases not counted)
  // fails as if not acknowledged, and its transfer aborts.
  std::vector<uint32_t> AbortOnBytes{};
  // The bus stops moving before the Nth byte (counted as AbortOnBytes counts them): that byte and
  // every later one stay queued. 0: never.
  uint32_t StallFromByte = 0;
};

struct I2cRegisterValue {
  uint8_t Register;
  uint8_t Value;
};

// A PMIC's analog-to-digital converter: the 10-bit reading a conversion ends with, and how long
// it runs (see PmicConverter).
struct PmicConversionConfig {
  uint16_t Reading = 0;
  uint32_t BusyReads = 0;     // reads of the control register that still find it busy
  uint64_t BusyNs = 0;        // virtual time from the start; the later of the two ends it
  bool NeverFinishes = false; // fault: busy for ever, the result registers never change
};

// A device on the PMIC bus.
struct I2cDeviceConfig {
  uint16_t Address = 0;
  bool TenBit = false;
  std::string Model = "register-file";     // one of I2cDeviceModels
  std::vector<I2cRegisterValue> Registers; // initial contents, others read 0
  bool NeverAcknowledges = false;          // fault: fitted but dead
  // Fault: from its Nth transfer on (address phases addressed to it, counted from 1, a repeated
  // start included) the device acknowledges nothing more. 0: never.
  uint32_t StopsAcknowledgingFrom = 0;
  // Its first N address phases go unacknowledged, later ones are answered: a device that missed
  // detection's identification read and is there for whatever selection settles on instead.
  uint32_t MissesFirstTransfers = 0;
  // PMIC models with a converter or a register that refuses a value; other models have neither.
  PmicConversionConfig Conversion = {};
  uint32_t RefusedWrites = 0;     // writes of the refused value that do not take, from reset
  bool RefusesEveryWrite = false; // fault: none takes, however many the board allows
};

// The P-Unit behind the sideband interface, as far as the PMIC bus semaphore goes.
// One read of a P-Unit register over the sideband that answers all ones (nothing answered): the
// Read-th read of Register, counted from 1 over the run.
struct PunitReadFault {
  uint32_t Register = 0;
  uint32_t Read = 0;
  bool operator==(const PunitReadFault&) const = default;
};

struct PunitConfig {
  bool Arbitrated = true;    // semaphore bit 8: the bus is shared and must be asked for
  bool HostHoldsBus = false; // grant bit set out of reset
  bool NeverGrants = false;  // fault: requests are never answered
  uint64_t GrantDelayNs = 0; // from request to grant
  uint64_t LateByNs = 0;     // fault: every grant comes this much later than it would
  uint64_t BusyUntilNs = 0;  // the P-Unit holds the bus itself from time 0 until then
  uint32_t Register6 = 0;
  std::vector<PunitReadFault> ReadsAllOnes; // fault: reads that get no answer
};

// A fault as its board file gives it, for the summaries to name: where it stands
// ("faults.pad_reads_all_ones", "i2c_devices[1].conversion.never_finishes", "hobs[2].hob_length")
// and its value as compact JSON text.
struct GivenFault {
  std::string Key;
  std::string Value;
  // The fault point that puts the same fault into a board: what its strike is noted as. A HOB
  // length given on purpose is noted by the kind its value is closest to (every such fault
  // strikes where the walk reaches its HOB).
  std::optional<FaultPoint> Point{};
  bool operator==(const GivenFault&) const = default;
};

struct BoardConfig {
  std::string Name;
  std::string Description;
  // What the board file said of its faults (empty for a board built in code); the faults
  // themselves are the fields below.
  std::vector<GivenFault> GivenFaults;
  uint16_t AcpiBase = 0x0000; // legacy bridge 0x40 out of reset: window off
  uint32_t PmcBase = 0xFED03000;
  bool PmTimer32Bit = false;
  uint32_t PmTimerStart = 0; // counter value at time 0, to place a wrap where a test wants it
  // Fault: from its Nth read on (counted from 1, decoded reads only) the timer keeps returning
  // the count that read found. 0: never.
  uint32_t PmTimerFrozenFromRead = 0;
  AccessCosts Costs;
  // A run is stuck once its virtual time passes TimeBudgetMs or it has made AccessBudget accesses
  // (the guard for a clock that barely moves, access costs near 0). The longest legitimate runs are
  // variant 6's ReadVoltage polling a converter that never finishes, or a device that never
  // answers, 556 times: with the bus semaphore never granted, each poll waits out the semaphore's
  // time-out (196.8 s of virtual time, 240.6 million accesses); with a stalled bus as well, each
  // also waits out its transfer's bounds (241.3 s, 462.8 million). The budgets leave twice that.
  uint64_t TimeBudgetMs = 500'000;
  uint64_t AccessBudget = 1'000'000'000;
  // The stack the image form gives the module, in bytes: 0 for the runner's default, or a
  // multiple of 16 from MinStackBytes to MaxStackBytes. A run that goes deeper stops there.
  uint32_t StackBytes = 0;
  std::vector<PadLevel> PadLevels;
  std::vector<PadFault> PadFaults;
  uint32_t PmcFunctionDisable = 0; // power-management controller, FunctionDisable at reset
  I2cControllerConfig I2c;
  std::vector<I2cDeviceConfig> I2cDevices;
  PunitConfig Punit;
  // Handed over through GetHobList; an empty list still has its end marker.
  std::vector<HobEntry> Hobs;
};

} // namespace sim

// What a run did to each pad: its two registers before and after, with their fields decoded,
// every access the module made to its 16 bytes, which part of the run made it, and the row of
// the board's pad table that names the pad. Read from the trace, with the board's own state
// before and after the run where the run is at hand.
#pragma once

#include "gpio/PadConfigEntry.h"
#include "sim/Trace.h"
#include "sim/devices/GpioPads.h"
#include "tools/boardsim/analysis/RunPhases.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct PadState {
  uint32_t Config;
  uint32_t Value; // bit 0 is the level
};

// Every pad of the three communities, as the module would read it, by community and number.
std::vector<PadState> SnapshotPads(const sim::GpioPads& Gpio);

// One definition of a changed pad, the same everywhere a run is shown (summary, --pads, JSON,
// page): its configuration register or its value register reads otherwise after the run than
// before. The parts: the configuration register, the direction bits and the level bit of the value
// register; a pad can change in several.
struct PadChanges {
  unsigned Changed = 0;
  unsigned Configuration = 0;
  unsigned Direction = 0;
  unsigned Level = 0;
};

PadChanges ComparePads(const std::vector<PadState>& Before, const std::vector<PadState>& After);

// A pad by its community's offset (0x0000, 0x1000 or 0x2000) and its number there (0-255).
struct PadRef {
  uint32_t Community;
  uint32_t Pad;
  bool operator==(const PadRef&) const = default;
};

// "0x0000:93" (offset and number, decimal or 0x hex); false with a reason otherwise.
bool ParsePadRef(const std::string& Text, PadRef& Out, std::string& Error);
// "0x0000:93"
std::string FormatPadRef(const PadRef& Pad);

// Where a pad's value register lies from its configuration register.
constexpr uint32_t PadValueOffset = 8;
uint32_t ConfigAddress(const PadRef& Pad);
uint32_t ValueAddress(const PadRef& Pad);

// The fields the pad engine owns. Direction is bits 1-2 of the value register as the tables'
// Direction field gives them (0 output, 2 input, 6 neither); PullPattern is the table's Pull
// value whose bits 7-10 the register holds (0-5), absent when bits 7 and 8 are both clear or set.
struct PadFields {
  uint32_t Mode;
  uint32_t Direction;
  bool High;
  uint32_t PullBits; // bits 7-10, as a number 0-15
  std::optional<uint32_t> PullPattern;
  uint32_t Nibble;
};

PadFields DecodePad(uint32_t Config, uint32_t Value);

// A register's content; absent where the run does not tell it (a trace alone, before its first
// read).
struct PadWords {
  std::optional<uint32_t> Config;
  std::optional<uint32_t> Value;
  bool operator==(const PadWords&) const = default;
};

// The name of the table of Community's pads, as the module's source has it.
const char* TableName(uint32_t Community);

struct PadTableRow {
  uint32_t Row; // its position in the table of the pad's community
  PadConfigEntry Entry;
};

struct PadAccess {
  sim::Access Access;
  std::string Part;            // the part of the run that made it (RunPhases.h)
  std::optional<uint32_t> Row; // a table pass's access: the row that made it
};

struct PadRecord {
  PadRef Pad{};
  PadWords Before;
  PadWords After;
  std::vector<PadAccess> Accesses;
  std::optional<PadTableRow> Row;
  bool Changed() const;
};

// --pads changed: the records of pads the run changed, in their order.
void KeepChanged(std::vector<PadRecord>& Records);

// Before and After: the board's pads as SnapshotPads gives them, or empty for a trace alone.
// Wanted: the pads to show, in that order; empty: every pad the trace accesses, by community and
// number.
std::vector<PadRecord> ViewPads(const std::vector<sim::Access>& Trace,
                                const std::vector<Phase>& Phases,
                                const std::vector<PadState>& Before,
                                const std::vector<PadState>& After,
                                const std::vector<PadRef>& Wanted);

} // namespace boardsim

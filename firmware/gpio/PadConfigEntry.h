// One row of a board pad table, as the engine consumes it: 21 bytes, little-endian, packed.
#pragma once

#include <stdint.h>

#pragma pack(push, 1)
struct PadConfigEntry {
  uint32_t Direction;    // 0xFF: value register left as read; else bits 1-2 taken
  uint32_t OutputLevel;  // bit 0 of the value register, only when Direction is 0
  uint32_t Mode;         // bits 0-2 of the configuration register
  uint32_t ConfigNibble; // bits 24-27 of the configuration register
  uint32_t Pull;         // pattern for bits 7-10 when Direction is not 0
  uint8_t PadIndex;      // pad number within the table's community
};
#pragma pack(pop)

static_assert(sizeof(PadConfigEntry) == 21, "pad rows are exchanged as packed 21-byte records");
static_assert(__builtin_offsetof(PadConfigEntry, OutputLevel) == 4);
static_assert(__builtin_offsetof(PadConfigEntry, Mode) == 8);
static_assert(__builtin_offsetof(PadConfigEntry, ConfigNibble) == 12);
static_assert(__builtin_offsetof(PadConfigEntry, Pull) == 16);
static_assert(__builtin_offsetof(PadConfigEntry, PadIndex) == 20);

// Field value meaning "leave the bits this field governs as they are".
constexpr uint32_t PadKeep = 0xFF;

// Rows are written pad first, as boards list them; the record keeps the exchanged field order.
constexpr PadConfigEntry Pad(uint8_t PadIndex, uint32_t Direction, uint32_t OutputLevel,
                             uint32_t Mode, uint32_t ConfigNibble, uint32_t Pull) {
  return PadConfigEntry{Direction, OutputLevel, Mode, ConfigNibble, Pull, PadIndex};
}

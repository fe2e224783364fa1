#include "gpio/PadEngine.h"
#include "platform/RegisterAccess.h"

namespace {
// A pad register that reads all ones has not answered yet; it is asked again this many times.
constexpr uint32_t PadReReadLimit = 5;

// Value register fields.
constexpr uint32_t PadLevelBit = 0x1;
constexpr uint32_t PadDirectionMask = 0x6;

// Configuration register fields.
constexpr uint32_t PadModeMask = 0x7;
constexpr uint32_t PadPullEnableBits = 0x180; // bits 7 and 8
constexpr uint32_t PadNibbleShift = 24;
constexpr uint32_t PadNibbleMask = 0xFu << PadNibbleShift;

struct PullPattern {
  uint32_t Clear;
  uint32_t Set;
};

// Bits 7-10 per Pull value; values from 7 up leave the bits alone.
constexpr PullPattern PullPatterns[] = {
    {0x300, 0x480}, // 0: bits 10 and 7
    {0x280, 0x500}, // 1: bits 10 and 8
    {0x500, 0x280}, // 2: bits 9 and 7
    {0x480, 0x300}, // 3: bits 9 and 8
    {0x700, 0x080}, // 4: bit 7
    {0x680, 0x100}, // 5: bit 8
    {0x180, 0x000}, // 6: bits 7 and 8 off, 9 and 10 kept
};
// mutant-equivalent(constant): every pattern has the same size, whichever one is measured.
constexpr uint32_t PullPatternCount = sizeof(PullPatterns) / sizeof(PullPatterns[0]);

uint32_t MergeValue(uint32_t Value, const PadConfigEntry& Entry) {
  const uint32_t direction = Entry.Direction;
  if (direction == PadKeep) {
    return Value;
  }
  Value = (Value & ~PadDirectionMask) | (direction & PadDirectionMask);
  const uint32_t level = Entry.OutputLevel;
  if (direction == 0 && level != PadKeep) {
    Value = (Value & ~PadLevelBit) | (level & PadLevelBit);
  }
  return Value;
}

uint32_t MergeConfig(uint32_t Config, const PadConfigEntry& Entry) {
  Config = (Config & ~PadModeMask) | (Entry.Mode & PadModeMask);
  const uint32_t pull = Entry.Pull;
  if (Entry.Direction == 0) {
    // An output pad never pulls: bits 7 and 8 off, whatever Pull holds.
    Config &= ~PadPullEnableBits;
  } else if (pull < PullPatternCount) {
    Config = (Config & ~PullPatterns[pull].Clear) | PullPatterns[pull].Set;
  }
  // The field always takes the row's nibble; a nibble of 0 leaves it clear.
  return (Config & ~PadNibbleMask) | ((Entry.ConfigNibble & 0xF) << PadNibbleShift);
}

// A register that reads all ones has not answered yet and is asked again, a few times. False when
// it still reads all ones after the last re-read: it never answered, and a value merged into those
// ones would set every bit the row does not own. Such a register is left as it is.
bool ReadPadRegister(uint32_t Address, uint32_t& Value) {
  Value = MmioRead32(Address);
  for (uint32_t reread = 0; Value == PadNoAnswer && reread < PadReReadLimit; ++reread) {
    Value = MmioRead32(Address);
  }
  return Value != PadNoAnswer;
}
} // namespace

// Shaped for a debugger: out of line, and a guard before a loop tested at its bottom. A breakpoint
// on the function lands on its first line after the prologue; were that the loop head, it would
// stop once per row instead of once per table.
__attribute__((noinline)) void ProgramPadTable(uint32_t Count, const PadConfigEntry* Table,
                                               uint32_t Community) {
  if (Count == 0) {
    return;
  }
  uint32_t row = 0;
  do {
    const PadConfigEntry& entry = Table[row];
    const uint32_t base = PadRegisterBase(Community, entry.PadIndex);
    // The value register is written even when nothing in it changes, once it has answered.
    uint32_t value = 0;
    if (ReadPadRegister(base + PadValueRegister, value)) {
      MmioWrite32(base + PadValueRegister, MergeValue(value, entry));
    }
    uint32_t config = 0;
    if (ReadPadRegister(base + PadConfigRegister, config)) {
      MmioWrite32(base + PadConfigRegister, MergeConfig(config, entry));
    }
  } while (++row < Count);
}

// The board's pad settings, one table per GPIO community, in the order they are applied.
#pragma once

#include "gpio/PadConfigEntry.h"

constexpr uint32_t PadTable1000Count = 27;
constexpr uint32_t PadTable0000Count = 103;
constexpr uint32_t PadTable2000Count = 44;

extern const PadConfigEntry PadTable1000[PadTable1000Count];
extern const PadConfigEntry PadTable0000[PadTable0000Count];
extern const PadConfigEntry PadTable2000[PadTable2000Count];

// Fixed register writes kept as rows of data: the controller's set-up values, written in row
// order by one small routine instead of one store each in the code.
#pragma once

#include <stdint.h>

struct MmioWriteRow {
  uint32_t Address;
  uint32_t Value;
  uint8_t Width; // 16 or 32: the width of the one access the row makes
};

// Writes each row's value at its address and width, in array order.
void ApplyMmioWrites(const MmioWriteRow* Rows, uint32_t Count);

template <uint32_t N> void ApplyMmioWrites(const MmioWriteRow (&Rows)[N]) {
  ApplyMmioWrites(Rows, N);
}

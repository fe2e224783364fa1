#include "i2c/MmioWrites.h"
#include "platform/RegisterAccess.h"

void ApplyMmioWrites(const MmioWriteRow* Rows, uint32_t Count) {
  for (uint32_t row = 0; row < Count; ++row) {
    const MmioWriteRow& write = Rows[row];
    if (write.Width == 32) {
      MmioWrite32(write.Address, write.Value);
    } else {
      MmioWrite16(write.Address, static_cast<uint16_t>(write.Value));
    }
  }
}

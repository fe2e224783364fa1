#include "sim/RegisterFile.h"

#include <gtest/gtest.h>

namespace {

// One write into a fresh six-byte file, then one read: little-endian at every width, whole
// registers and registers that the file's end cuts short (bytes past it are neither kept nor read).
struct Case {
  uint32_t WriteOffset;
  unsigned WriteWidth;
  uint32_t Value;
  uint32_t ReadOffset;
  unsigned ReadWidth;
  uint32_t Expected;
};

TEST(RegisterFile, ReadsBackWhatWasWrittenAtAnyWidth) {
  const Case cases[] = {
      {0, 32, 0x11223344, 0, 32, 0x11223344},
      {0, 32, 0x11223344, 1, 16, 0x2233},
      {0, 32, 0x11223344, 3, 8, 0x11},
      {2, 16, 0xBEEF, 0, 32, 0xBEEF0000},
      {3, 8, 0x5A, 0, 32, 0x5A000000},
      {4, 32, 0xAABBCCDD, 4, 32, 0x0000CCDD},
      {4, 32, 0xAABBCCDD, 2, 32, 0xCCDD0000},
      {5, 16, 0xEEFF, 4, 16, 0xFF00},
      {6, 8, 0xFF, 4, 16, 0x0000},
  };
  for (const Case& c : cases) {
    sim::RegisterFile file(6);
    file.Set(c.WriteOffset, c.WriteWidth, c.Value);
    EXPECT_EQ(file.Get(c.ReadOffset, c.ReadWidth), c.Expected)
        << "write " << c.WriteWidth << " bits at " << c.WriteOffset << ", read " << c.ReadWidth
        << " bits at " << c.ReadOffset;
  }
}

} // namespace

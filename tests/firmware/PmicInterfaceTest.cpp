// The descriptor header read by a C compiler and by C++: the same record, the same GUID, the
// same status values, and a C caller that reaches the library.
#include "pmic/PmicDescriptor.h"
#include "support/PmicBoardFixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

extern "C" {
extern const size_t PmicDescriptorSizeInC;
extern const size_t PmicSlotOffsetsInC[PmicSlotCount];
extern const EFI_STATUS PmicStatusesInC[6];
extern const EFI_GUID* const PmicHobGuidInC;
EFI_STATUS PmicIdentityFromC(uint8_t* Id, uint8_t* Revision);
}

namespace {

TEST(PmicInterfaceTest, CAndCppAgreeOnTheInterface) {
  EXPECT_EQ(PmicDescriptorSizeInC, sizeof(PmicDescriptor));
  for (size_t slot = 0; slot < PmicSlotCount; ++slot) {
    EXPECT_EQ(PmicSlotOffsetsInC[slot], 8 + slot * sizeof(void*)) << slot;
  }
  const uint8_t guid[16] = {0x24, 0xF9, 0x9D, 0x38, 0x9C, 0x82, 0xF5, 0x4E,
                            0xB9, 0xCE, 0x9C, 0xD0, 0x65, 0x28, 0x87, 0xEA};
  EXPECT_EQ(std::memcmp(PmicHobGuidInC, guid, sizeof guid), 0);
  const EFI_STATUS statuses[] = {0,           0x80000002u, 0x80000003u,
                                 0x80000006u, 0x80000007u, 0x80000012u};
  for (size_t i = 0; i < std::size(statuses); ++i) {
    EXPECT_EQ(PmicStatusesInC[i], statuses[i]) << i;
  }
}

class PmicInterfaceCallTest : public testsupport::PmicBoardTest {};

TEST_F(PmicInterfaceCallTest, ACCallerReachesTheActiveVariant) {
  Fit(0x34, "pmic-variant5", {{0x03, 0x61}});
  Install();
  uint8_t id = 0, revision = 0;
  EXPECT_EQ(PmicIdentityFromC(&id, &revision), EFI_SUCCESS);
  EXPECT_EQ(id, 0x41);
  EXPECT_EQ(revision, 2);

  Config.I2cDevices.clear();
  Install();
  EXPECT_EQ(PmicIdentityFromC(&id, &revision), EFI_UNSUPPORTED); // the fallback has none
}

} // namespace

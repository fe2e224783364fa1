#include "pmic/PmicDescriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

struct Slot {
  std::string_view Name;
  bool (*Filled)(const PmicDescriptor&);
  ptrdiff_t (*Offset)(const PmicDescriptor&);
};

template <auto Member> constexpr Slot At(std::string_view Name) {
  return {Name, [](const PmicDescriptor& D) { return D.*Member != nullptr; },
          [](const PmicDescriptor& D) {
            return reinterpret_cast<const char*>(&(D.*Member)) - reinterpret_cast<const char*>(&D);
          }};
}

#define SLOT(Name) At<&PmicDescriptor::Name>(#Name)
// In slot order: slot n follows the header at 8 + n pointer widths.
constexpr Slot Slots[] = {
    SLOT(ReadRegister), SLOT(WriteRegister), SLOT(ReadAuxRegister), SLOT(WriteAuxRegister),
    SLOT(Detect),       SLOT(GetIdentity),   SLOT(InitStep1),       SLOT(InitStep2),
    SLOT(InitStep3),    SLOT(InitStep4),     SLOT(InitStep5),       SLOT(GetStatus1),
    SLOT(GetStatus2),   SLOT(GetStatus3),    SLOT(GetFlag1),        SLOT(GetFlag2),
    SLOT(GetFlag3),     SLOT(ClearStatus2),  SLOT(ClearStatus1),    SLOT(ReadVoltage),
    SLOT(GetFlag4),     SLOT(GetSelector),   SLOT(SetSelector),     SLOT(GetLevel),
    SLOT(InitStep6),
};
#undef SLOT
static_assert(std::size(Slots) == PmicSlotCount);

TEST(PmicDescriptorTest, HeadersAndFilledSlotsOfEveryVariant) {
  struct Case {
    const char* Name;
    const PmicDescriptor& Descriptor;
    uint8_t AuxI2cAddress;
    uint8_t I2cAddress;
    uint32_t VariantId;
    std::vector<std::string_view> Filled;
  };
  const Case cases[] = {
      // Variant 1 offers every operation but GetLevel.
      {"variant 1",
       PmicVariant1,
       0x5E,
       0x6E,
       1,
       {"ReadRegister", "WriteRegister", "ReadAuxRegister", "WriteAuxRegister", "Detect",
        "GetIdentity",  "InitStep1",     "InitStep2",       "InitStep3",        "InitStep4",
        "InitStep5",    "GetStatus1",    "GetStatus2",      "GetStatus3",       "GetFlag1",
        "GetFlag2",     "GetFlag3",      "ClearStatus2",    "ClearStatus1",     "ReadVoltage",
        "GetFlag4",     "GetSelector",   "SetSelector",     "InitStep6"}},
      {"variant 5", PmicVariant5, 0x34, 0x34, 5, {"ReadRegister", "WriteRegister", "Detect",
                                                  "GetIdentity",  "InitStep1",     "InitStep2",
                                                  "InitStep3",    "InitStep5",     "GetStatus1",
                                                  "GetStatus2",   "GetStatus3",    "GetFlag1",
                                                  "GetFlag3",     "ClearStatus2",  "ClearStatus1",
                                                  "ReadVoltage",  "GetFlag4",      "GetSelector",
                                                  "SetSelector",  "GetLevel",      "InitStep6"}},
      {"variant 6",
       PmicVariant6,
       0x5E,
       0x5E,
       6,
       {"ReadRegister", "WriteRegister", "Detect", "GetIdentity", "InitStep3", "InitStep5",
        "GetStatus1", "GetStatus2", "GetStatus3", "GetFlag3", "ClearStatus2", "ClearStatus1",
        "ReadVoltage", "GetFlag4", "InitStep6"}},
      {"fallback",
       PmicVariantNone,
       0x5E,
       0x5E,
       0xFE,
       {"ReadRegister", "WriteRegister", "Detect", "GetFlag2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const PmicDescriptor& d = c.Descriptor;
    EXPECT_EQ(d.HeaderTag, 4);
    EXPECT_EQ(d.AuxI2cAddress, c.AuxI2cAddress);
    EXPECT_EQ(d.I2cAddress, c.I2cAddress);
    EXPECT_EQ(d.Reserved, 0);
    EXPECT_EQ(d.VariantId, c.VariantId);
    size_t filled = 0;
    for (size_t n = 0; n < std::size(Slots); ++n) {
      const Slot& slot = Slots[n];
      SCOPED_TRACE(slot.Name);
      EXPECT_EQ(slot.Offset(d), static_cast<ptrdiff_t>(8 + n * sizeof(void*)));
      const bool expected = std::ranges::find(c.Filled, slot.Name) != c.Filled.end();
      EXPECT_EQ(slot.Filled(d), expected);
      filled += expected;
    }
    EXPECT_EQ(filled, c.Filled.size()); // every expected name is a slot
  }
  // The fallback answers detection and the flag with one and the same operation.
  EXPECT_EQ(PmicVariantNone.Detect, PmicVariantNone.GetFlag2);
}

TEST(PmicDescriptorTest, DetectionAsksVariantFiveSixOneThenTheFallback) {
  const PmicDescriptor* const expected[] = {&PmicVariant5, &PmicVariant6, &PmicVariant1,
                                            &PmicVariantNone};
  ASSERT_EQ(PmicDetectionCount, std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(PmicDetectionList[i], expected[i]) << i;
  }
}

} // namespace

#include "pmic/PmicDescriptor.h"
#include "support/PmicBoardFixture.h"

using namespace testsupport;

namespace {

class PmicSelectionTest : public PmicBoardTest {};

const std::vector<std::string> Probe34 = Locked({{Rd(0x34, 0x03, 0x41)}});

// Asked first, variant 5 keeps the others' devices from being asked at all; nothing is cached.
TEST_F(PmicSelectionTest, EveryCallAsksVariantFiveAndNobodyAfterIt) {
  Fit(0x34, "pmic-variant5");
  Fit(0x6E, "register-file", {{0x00, 0x41}, {0x03, 0x41}});
  Fit(0x5E, "register-file", {{0x00, 0x41}, {0x03, 0x41}});
  Install();
  EXPECT_EQ(GetActivePmic(), &PmicVariant5);
  EXPECT_EQ(GetActivePmic(), &PmicVariant5);
  EXPECT_EQ(Events(), Concat({Probe34, Probe34}));
}

// Variants 5, 6 and 1 are each asked once, in that order, before the fallback answers.
TEST_F(PmicSelectionTest, NoKnownAnswerLeavesTheFallback) {
  struct Case {
    const char* Name;
    uint8_t Answer; // what 0x5E and 0x6E hold in register 0x00; 0 fits no device
    std::vector<std::string> Events;
  };
  const Case cases[] = {
      {"nothing fitted", 0, NobodyAnswers},
      // Variant 6 wants 0xC0-0xCF in 0x5E's register 0x00, variant 1 0x00, 0x1F or 0x2B in 0x6E's.
      {"unknown codes", 0x41,
       EachLocked({RdFailed(0x34, 0x03), Rd(0x5E, 0x00, 0x41), Rd(0x6E, 0x00, 0x41)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    if (c.Answer != 0) {
      Fit(0x5E, "register-file", {{0x00, c.Answer}});
      Fit(0x6E, "register-file", {{0x00, c.Answer}});
    }
    Install();
    const PmicDescriptor* pmic = GetActivePmic();
    EXPECT_EQ(pmic, &PmicVariantNone);
    EXPECT_EQ(pmic->VariantId, 0xFEu);
    EXPECT_EQ(Events(), c.Events);
  }
}

TEST_F(PmicSelectionTest, ADescriptorHobIsUsedInPlaceWithoutAnyBusTraffic) {
  struct Case {
    const char* Name;
    std::vector<sim::HobEntry> Hobs;
    size_t Offset; // of the HOB whose descriptor wins
    uint32_t VariantId;
  };
  const Case cases[] = {
      {"alone", {DescriptorHob(5)}, 0, 5},
      // Each foreign GUID differs from the descriptor HOB's in one of its four words.
      {"behind other types and foreign GUIDs",
       {OtherHob(0x0002, 5), ForeignGuidHob(0, 8), ForeignGuidHob(5, 0), ForeignGuidHob(10, 0),
        ForeignGuidHob(15, 0), OtherHob(0x0003, 0), DescriptorHob(6)},
       16 + 32 + 24 + 24 + 24 + 8,
       6},
      {"the first of two wins", {DescriptorHob(6), DescriptorHob(5)}, 0, 6},
  };
  Fit(0x34, "pmic-variant5");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Handoff.Hobs = c.Hobs;
    Install();
    const PmicDescriptor* pmic = GetActivePmic();
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(pmic), installation->HobList() + c.Offset + 24);
    EXPECT_EQ(pmic->VariantId, c.VariantId);
    EXPECT_TRUE(Trace().empty());
  }
}

TEST_F(PmicSelectionTest, WithoutAUsableDescriptorHobDetectionDecides) {
  struct Case {
    const char* Name;
    tools::PeiHandoff Handoff;
    std::vector<std::pair<size_t, uint8_t>> Patch{}; // bytes changed after the list is built
  };
  const std::vector<sim::HobEntry> handedOver = {DescriptorHob(6)};
  const Case cases[] = {
      {"empty list", {}},
      {"no descriptor HOB",
       {.Hobs = {OtherHob(0x0002, 8), ForeignGuidHob(3, 16), ForeignGuidHob(12, 0)}}},
      {"zero-length HOB before it",
       {.Hobs = {OtherHob(0x0002, 0), WithLength(OtherHob(0x0003, 8), 0), DescriptorHob(6)}}},
      // Its slots would be read from what follows it.
      {"a descriptor HOB whose length holds only the name and the variant",
       {.Hobs = {WithLength(DescriptorHob(6), 32)}}},
      {"a descriptor HOB of length 0", {.Hobs = {WithLength(DescriptorHob(6), 0)}}},
      {"too short to pass its header",
       {.Hobs = {WithLength(ForeignGuidHob(0, 0), 4), DescriptorHob(6)}}},
      {"past the end of the list",
       {.Hobs = {OtherHob(0x0002, 8), {.What = sim::HobEntry::Kind::EndOfList}, DescriptorHob(6)}}},
      {"no services pointer", {.Hobs = handedOver, .ServicesPointer = false}},
      {"IDT base 0", {.Hobs = handedOver, .Idt = false}},
      {"no services table", {.Hobs = handedOver, .Table = false}},
      {"no GetHobList service", {.Hobs = handedOver, .GetHobListSlot = false}},
      {"GetHobList hands over no list", {.Hobs = handedOver, .ListPointer = false}},
      {"the GUID in a HOB of another type", {.Hobs = handedOver}, {{0, 0x03}}},
      // 12 steps to a header at offset 12 whose length 12 would reach the descriptor HOB.
      {"a length that is not a multiple of 8",
       {.Hobs = {OtherHob(0x0002, 16), DescriptorHob(6)}},
       {{2, 12}, {12, 0x02}, {14, 12}}},
  };
  Fit(0x34, "pmic-variant5");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Handoff = c.Handoff;
    Install();
    for (const auto& [at, value] : c.Patch) {
      const_cast<uint8_t*>(installation->HobList())[at] = value;
    }
    EXPECT_EQ(GetActivePmic(), &PmicVariant5);
    EXPECT_EQ(Events(), Probe34);
  }
}

// GetHobList's status is not looked at: a list it hands over is walked even with an error.
TEST_F(PmicSelectionTest, AFailingGetHobListStillHandsOverItsList) {
  Handoff = {.Hobs = {DescriptorHob(6)}, .GetHobListStatus = EFI_NOT_READY};
  Install();
  const PmicDescriptor* pmic = GetActivePmic();
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(pmic), installation->HobList() + 24);
  EXPECT_TRUE(Trace().empty());
}

} // namespace

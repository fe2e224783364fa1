#include "sim/HobList.h"
#include "sim/BoardFile.h"

#include "support/BoardFileErrors.h"

#include <gtest/gtest.h>

namespace {

uint16_t Word(const std::vector<uint8_t>& List, size_t At) {
  return static_cast<uint16_t>(List[At] | List[At + 1] << 8);
}

TEST(HobList, LaysOutEachHobWithItsLengthAndEndsTheList) {
  const std::vector<sim::HobEntry> hobs = {
      {.What = sim::HobEntry::Kind::Other, .Type = 0x0002, .DataLength = 5},
      {.What = sim::HobEntry::Kind::PmicDescriptor, .VariantId = 5, .I2cAddress = 0x34},
      {.What = sim::HobEntry::Kind::Other, .Type = 0x0003, .HobLengthOverride = 0},
      {.What = sim::HobEntry::Kind::EndOfList},
  };
  struct Case {
    unsigned PointerBytes;
    size_t DescriptorHob; // 8 header + 16 GUID + 8 descriptor header + 25 slots, rounded to 8
  };
  for (const Case c : {Case{4, 136}, Case{8, 232}}) {
    SCOPED_TRACE(c.PointerBytes);
    const std::vector<uint8_t> list = sim::BuildHobList(hobs, c.PointerBytes);
    ASSERT_EQ(list.size(), 16 + c.DescriptorHob + 8 + 8 + 8);
    EXPECT_EQ(Word(list, 0), 0x0002);
    EXPECT_EQ(Word(list, 2), 16); // 8 + 5 rounded up
    EXPECT_EQ(Word(list, 16), 0x0004);
    EXPECT_EQ(Word(list, 18), c.DescriptorHob);
    EXPECT_TRUE(std::equal(sim::PmicDescriptorHobName.begin(), sim::PmicDescriptorHobName.end(),
                           list.begin() + 24));
    // The descriptor: tag 4, both addresses, reserved 0, VariantId 5, then null slots.
    EXPECT_EQ(std::vector<uint8_t>(list.begin() + 40, list.begin() + 48),
              (std::vector<uint8_t>{4, 0x34, 0x34, 0, 5, 0, 0, 0}));
    const size_t third = 16 + c.DescriptorHob;
    EXPECT_EQ(Word(list, third), 0x0003);
    EXPECT_EQ(Word(list, third + 2), 0); // the malformed length, as asked
    // The end-of-list entry, then the builder's own end marker after it.
    for (const size_t end : {third + 8, third + 16}) {
      EXPECT_EQ(Word(list, end), 0xFFFF);
      EXPECT_EQ(Word(list, end + 2), 8);
    }
  }
}

TEST(HobList, BoardFilesDescribeHobsStrictly) {
  const sim::BoardConfig config = sim::ParseBoardText(R"({"hobs": [
      {"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA", "data_length": 208},
      {"kind": "pmic-descriptor", "variant": 6, "i2c_address": "0x5E"},
      {"kind": "other", "hob_type": 3, "hob_length": 0},
      {"kind": "end-of-list"}]})",
                                                      "b.json");
  ASSERT_EQ(config.Hobs.size(), 4u);
  EXPECT_EQ(config.Hobs[0].Name, sim::PmicDescriptorHobName); // written form to memory order
  EXPECT_EQ(config.Hobs[0].DataLength, 208u);
  EXPECT_EQ(config.Hobs[1].VariantId, 6u);
  EXPECT_EQ(config.Hobs[1].I2cAddress, 0x5E);
  EXPECT_EQ(config.Hobs[2].HobLengthOverride, 0);
  EXPECT_EQ(config.Hobs[3].What, sim::HobEntry::Kind::EndOfList);

  const std::vector<testsupport::BoardFileErrorCase> bad = {
      {R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887E"}]})",
       "b.json:1:36: guid must be written as"},
      {R"({"hobs": [{"kind": "guid"}]})", "b.json:1:11: a guid HOB needs \"guid\""},
      {R"({"hobs": [{"kind": "cpu"}]})", "b.json:1:20: unknown HOB kind \"cpu\""},
      {R"({"hobs": [{"kind": "other", "hob_type": 4}]})",
       "b.json:1:41: hob_type 4 is a GUID extension HOB"},
      {R"({"hobs": [{"kind": "pmic-descriptor", "guid": "x"}]})",
       "b.json:1:39: unknown key \"guid\""},
      {R"({"hobs": [{"kind": "end-of-list", "data_length": 8}]})",
       "b.json:1:35: unknown key \"data_length\""},
  };
  testsupport::ExpectBoardFileErrors(bad, "b.json");
}

} // namespace

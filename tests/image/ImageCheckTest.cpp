// The built image is what the firmware expects of this module: an i386 PE32 EFI boot service
// driver entered at ModuleEntry, importing nothing, relocatable, laid out so that every RVA is
// its file offset, and reproducible byte for byte.
#include "emu/LinkerMap.h"
#include "emu/PeImage.h"

#include <gtest/gtest.h>

namespace {

class ImageCheckTest : public ::testing::Test {
protected:
  const std::vector<uint8_t> file = emu::ReadFileBytes(BOARDINIT_IMAGE);
  const emu::PeImage image = emu::ParsePe(file);
};

TEST_F(ImageCheckTest, IsAnI386Pe32BootServiceDriver) {
  EXPECT_EQ(image.Machine, 0x14C);
  EXPECT_EQ(image.Magic, 0x10B);
  EXPECT_EQ(image.Subsystem, 11);
}

TEST_F(ImageCheckTest, EntersAtModuleEntry) {
  const std::optional<uint32_t> entry =
      emu::ReadLinkerMap(BOARDINIT_IMAGE_MAP).FindSymbol("_ModuleEntry");
  ASSERT_TRUE(entry);
  EXPECT_EQ(image.AddressOfEntryPoint, *entry);
}

TEST_F(ImageCheckTest, ImportsNothingAndKeepsItsRelocations) {
  EXPECT_EQ(image.ImportTable.Rva, 0u);
  EXPECT_EQ(image.ImportTable.Size, 0u);
  EXPECT_NE(image.BaseRelocationTable.Rva, 0u);
  EXPECT_GT(image.BaseRelocationTable.Size, 0u);
  EXPECT_FALSE(image.Fixups.empty());
}

TEST_F(ImageCheckTest, EveryRvaIsItsFileOffset) {
  EXPECT_EQ(image.SectionAlignment, 32u);
  EXPECT_EQ(image.FileAlignment, 32u);
  for (const emu::PeSection& section : image.Sections) {
    SCOPED_TRACE(section.Name);
    EXPECT_EQ(section.VirtualAddress, section.PointerToRawData);
  }
  EXPECT_EQ(file.size(), image.SizeOfImage);
}

// The module keeps no state: code, constants and relocations, and no writable section.
TEST_F(ImageCheckTest, HoldsOnlyCodeConstantsAndRelocations) {
  std::vector<std::string> names;
  for (const emu::PeSection& section : image.Sections) {
    names.push_back(section.Name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{".text", ".rdata", ".reloc"}));
}

TEST_F(ImageCheckTest, TwoBuildsAreByteIdentical) {
  EXPECT_EQ(image.TimeDateStamp, 0u);
  const std::vector<uint8_t> again = emu::ReadFileBytes(BOARDINIT_IMAGE_AGAIN);
  ASSERT_EQ(again.size(), file.size());
  EXPECT_TRUE(again == file);
}

} // namespace

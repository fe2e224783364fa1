// The built image is what the firmware expects of this module: an i386 PE32 EFI boot service
// driver entered at ModuleEntry, importing nothing, relocatable, laid out so that every RVA is
// its file offset, and reproducible byte for byte.
#include "emu/GdbSymbols.h"
#include "emu/LinkerMap.h"
#include "emu/PeImage.h"
#include "package/ImageHeaders.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class ImageCheckTest : public ::testing::Test {
protected:
  const std::vector<uint8_t> file = emu::ReadFileBytes(BOARDINIT_IMAGE);
  const emu::PeImage image = emu::ParsePe(file);
  const package::PeHeaders headers = package::ReadPeHeaders(file);
};

TEST_F(ImageCheckTest, IsAnI386Pe32BootServiceDriver) {
  EXPECT_EQ(image.Machine, 0x14C);
  EXPECT_EQ(headers.Magic, 0x10B);
  EXPECT_EQ(image.Subsystem, 11);
}

TEST_F(ImageCheckTest, EntersAtModuleEntry) {
  const std::optional<uint32_t> entry =
      emu::ReadLinkerMap(BOARDINIT_IMAGE_MAP).FindSymbol("_ModuleEntry");
  ASSERT_TRUE(entry);
  EXPECT_EQ(image.AddressOfEntryPoint, *entry);
}

TEST_F(ImageCheckTest, ImportsNothingAndKeepsItsRelocations) {
  EXPECT_EQ(headers.Import, package::ImageDirectory{});
  EXPECT_NE(headers.BaseRelocation.Rva, 0u);
  EXPECT_GT(headers.BaseRelocation.Size, 0u);
  EXPECT_FALSE(image.Fixups.empty());
}

TEST_F(ImageCheckTest, EveryRvaIsItsFileOffset) {
  EXPECT_EQ(headers.SectionAlignment, 32u);
  EXPECT_EQ(headers.FileAlignment, 32u);
  for (const package::ImageSection& section : image.Sections) {
    SCOPED_TRACE(section.Name);
    EXPECT_EQ(section.VirtualAddress, section.PointerToRawData);
  }
  EXPECT_EQ(file.size(), image.SizeOfImage);
}

// The module keeps no state: code, constants and relocations, and no writable section.
TEST_F(ImageCheckTest, HoldsOnlyCodeConstantsAndRelocations) {
  std::vector<std::string> names;
  for (const package::ImageSection& section : image.Sections) {
    names.push_back(section.Name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{".text", ".rdata", ".reloc"}));
}

TEST_F(ImageCheckTest, TwoBuildsAreByteIdentical) {
  EXPECT_EQ(headers.TimeDateStamp, 0u);
  const std::vector<uint8_t> again = emu::ReadFileBytes(BOARDINIT_IMAGE_AGAIN);
  ASSERT_EQ(again.size(), file.size());
  EXPECT_TRUE(again == file);
}

// GDB reads the twin's DWARF; what it shows must be the code that ships. Loaded as far below
// the image as its sections lie above, the twin holds the image's code and data byte for byte.
TEST_F(ImageCheckTest, DebugTwinHoldsTheShippedCodeAndData) {
  const emu::PeImage twin = emu::ReadPeFile(BOARDINIT_IMAGE_DEBUG);
  constexpr uint32_t Base = 0x00800000;
  const uint32_t shift = emu::DebugTwinShift(image, twin);
  const std::vector<uint8_t> shipped = emu::RelocatedMemory(image, Base);
  const std::vector<uint8_t> debug = emu::RelocatedMemory(twin, Base - shift);
  for (const package::ImageSection& section : image.Sections) {
    SCOPED_TRACE(section.Name);
    if (section.Name == ".reloc") {
      continue;
    }
    const auto from = shipped.begin() + section.VirtualAddress;
    ASSERT_LE(section.VirtualAddress + shift + section.VirtualSize, debug.size());
    EXPECT_TRUE(std::equal(from, from + section.VirtualSize,
                           debug.begin() + section.VirtualAddress + shift));
  }
  EXPECT_GT(twin.Memory.size(), image.Memory.size()); // and it has the DWARF besides
}

} // namespace

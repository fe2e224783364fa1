// Reading PE32 files: a well-formed image is laid out and relocated; every kind of damaged or
// foreign file is refused with one clear message and no crash.
#include "emu/PeImage.h"
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Peim.h"
#include "package/Te.h"
#include "support/TestImage.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

TestImage ImageWithOneFixup() {
  TestImage image;
  image.ImageBase = 0x00400000;
  image.Text = {0xA1, 0, 0, 0, 0, 0xC3};
  TestImage::Put32(image.Text, 1, image.LinkedAddress(4));
  image.Relocations = {{0, {HighLow(TextRva + 1), 0x0000}}};
  return image;
}

TEST(PeImageTest, ReadsTheHeadersAndLaysOutTheSections) {
  const std::vector<uint8_t> file = ImageWithOneFixup().Build();
  const emu::PeImage image = emu::ParsePe(file);
  EXPECT_EQ(image.Machine, package::MachineI386);
  EXPECT_EQ(image.Subsystem, package::SubsystemEfiBootServiceDriver);
  EXPECT_EQ(image.ImageBase, 0x00400000u);
  EXPECT_EQ(image.AddressOfEntryPoint, TextRva);
  ASSERT_EQ(image.Sections.size(), 2u);
  EXPECT_EQ(image.Sections[0].Name, ".text");
  EXPECT_EQ(image.Sections[1].Name, ".reloc");
  EXPECT_EQ(image.Fixups, std::vector<uint32_t>{TextRva + 1});
  ASSERT_EQ(image.Memory.size(), image.SizeOfImage);
  EXPECT_TRUE(std::equal(file.begin() + TextRva, file.begin() + TextRva + 6,
                         image.Memory.begin() + TextRva));
}

TEST(PeImageTest, RelocationMovesEveryFixupByTheDistanceToTheNewBase) {
  const emu::PeImage image = emu::ParsePe(ImageWithOneFixup().Build());
  for (uint32_t base : {0x00400000u, 0x00800000u, 0x00001000u}) {
    SCOPED_TRACE(base);
    const std::vector<uint8_t> memory = emu::RelocatedMemory(image, base);
    const uint32_t fixed = memory[TextRva + 1] | memory[TextRva + 2] << 8 |
                           memory[TextRva + 3] << 16 | uint32_t{memory[TextRva + 4]} << 24;
    EXPECT_EQ(fixed, base + TextRva + 4);
    // Nothing else changes.
    std::vector<uint8_t> rest = memory;
    std::copy_n(image.Memory.begin() + TextRva + 1, 4, rest.begin() + TextRva + 1);
    EXPECT_EQ(rest, image.Memory);
  }
}

void Put16(std::vector<uint8_t>& File, uint32_t At, uint16_t Value) {
  TestImage::Put16(File, At, Value);
}

TEST(PeImageTest, RefusesFilesThatAreNotALoadableImage) {
  struct Case {
    const char* Name;
    std::function<std::vector<uint8_t>()> Make;
    std::string Message;
  };
  const std::vector<uint8_t> good = ImageWithOneFixup().Build();
  auto damaged = [&good](std::function<void(std::vector<uint8_t>&)> Damage) {
    return [&good, Damage] {
      std::vector<uint8_t> file = good;
      Damage(file);
      return file;
    };
  };
  auto withRelocations = [](std::vector<RelocationBlock> Blocks) {
    return [Blocks] {
      TestImage image = ImageWithOneFixup();
      image.Relocations = Blocks;
      return image.Build();
    };
  };
  const Case cases[] = {
      {"empty file", [] { return std::vector<uint8_t>{}; },
       "not a PE image: no DOS header with the MZ signature"},
      {"text file",
       [] {
         const std::string text(200, 'x');
         return std::vector<uint8_t>(text.begin(), text.end());
       },
       "not a PE image: no DOS header with the MZ signature"},
      {"no PE signature", damaged([](auto& f) { f[PeHeaderAt] = 'N'; }),
       "not a PE image: no PE signature at 0x40"},
      {"PE header beyond the file", damaged([](auto& f) { TestImage::Put32(f, 0x3C, 0x10000); }),
       "PE signature and file header (0x10000+0x18) runs past the end (" +
           std::to_string(good.size()) + " bytes)"},
      {"x64 machine", damaged([](auto& f) { Put16(f, MachineAt, 0x8664); }),
       "machine 0x8664 is not i386 (0x14C)"},
      {"ARM machine", damaged([](auto& f) { Put16(f, MachineAt, 0x1C0); }),
       "machine 0x1C0 is not i386 (0x14C)"},
      {"PE32+", damaged([](auto& f) { Put16(f, MagicAt, 0x20B); }),
       "a PE32+ image (magic 0x20B); the module is a PE32 image (magic 0x10B)"},
      {"ROM image magic", damaged([](auto& f) { Put16(f, MagicAt, 0x107); }),
       "not a PE32 image: optional header magic 0x107"},
      {"truncated in the optional header",
       [&good] { return std::vector<uint8_t>(good.begin(), good.begin() + OptionalHeaderAt + 40); },
       "optional header (0x58+0xE0) runs past the end (128 bytes)"},
      {"truncated in the section table",
       [&good] { return std::vector<uint8_t>(good.begin(), good.begin() + SectionTableAt + 50); },
       "section table (0x138+0x50) runs past the end (362 bytes)"},
      {"truncated section",
       [&good] { return std::vector<uint8_t>(good.begin(), good.begin() + TextRva + 8); },
       "raw data of section .text (0x200+0x20) runs past the end (520 bytes)"},
      {"section raw size past the end",
       damaged([](auto& f) { TestImage::Put32(f, FirstSectionRawSizeAt, 0x10000); }),
       "raw data of section .text (0x200+0x10000) runs past the end (" +
           std::to_string(good.size()) + " bytes)"},
      {"section outside the image",
       damaged([](auto& f) { TestImage::Put32(f, SizeOfImageAt, TextRva + 4); }),
       "section .text at RVA 0x200+0x6 lies outside the image (0x204 bytes)"},
      {"huge image", damaged([](auto& f) { TestImage::Put32(f, SizeOfImageAt, 0x40000000); }),
       "image size 0x40000000 is larger than the 0x1000000 bytes a module may take"},
      {"import table", damaged([](auto& f) {
         TestImage::Put32(f, ImportDirectoryAt, TextRva);
         TestImage::Put32(f, ImportDirectoryAt + 4, 20);
       }),
       "the image imports (import table at RVA 0x200); the module must import nothing"},
      {"relocations stripped", damaged([](auto& f) { Put16(f, CharacteristicsAt, 0x0103); }),
       "relocations stripped: the image can only run at its ImageBase"},
      {"relocation outside the image", withRelocations({{0x1000, {HighLow(0x10)}}}),
       "relocation at RVA 0x1010 points outside the image (0x240 bytes)"},
      {"relocation across the image's end", withRelocations({{0, {HighLow(0x23E)}}}),
       "relocation at RVA 0x23E points outside the image (0x240 bytes)"},
      {"64-bit relocation", withRelocations({{0, {0xA201}}}),
       "relocation type 10 at RVA 0x201; only 32-bit absolute ones are expected"},
      {"relocation block shorter than its header",
       damaged([](auto& f) { TestImage::Put32(f, 0x220 + 4, 4); }),
       "relocation block at RVA 0x220 has size 0x4"},
      {"relocation block longer than the directory",
       damaged([](auto& f) { TestImage::Put32(f, 0x220 + 4, 0x40); }),
       "relocation block (0x0+0x40) runs past the end (12 bytes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> file = c.Make();
    try {
      emu::ParsePe(file);
      ADD_FAILURE() << "accepted";
    } catch (const emu::ImageError& error) {
      EXPECT_EQ(std::string(error.what()), c.Message);
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
    }
  }
}

// What a loader could only run unrelocated, or with one section written over another: the
// runner refuses it, and the packaging (the same reader) refuses to package it.
TEST(PeImageTest, RefusesWhatNoLoaderCouldRunAsLinked) {
  using Bytes = std::vector<uint8_t>;
  const auto te = [](TestImage Image, uint32_t RelocationPage) {
    Bytes file = package::ConvertPeToTe(Image.Build());
    const package::TeImage parsed = package::ParseTe(file);
    const package::ImageSection& reloc = parsed.Sections.back();
    package::Put32(file, reloc.PointerToRawData - parsed.StrippedBytes(), RelocationPage);
    return file;
  };
  TestImage noRelocations = ImageWithOneFixup();
  noRelocations.Relocations.clear();
  Bytes overlapping = ImageWithOneFixup().Build();
  TestImage::Put32(overlapping, SectionTableAt + 8, 0x30); // .text's memory over .reloc's
  const struct {
    const char* Name;
    Bytes File;
    bool Pe32;
    std::string Message;
  } cases[] = {
      {"TE relocation page that wraps past 4 GiB", te(ImageWithOneFixup(), 0xFFFFFFFF), false,
       "relocation at RVA 0x100000200 points outside the image (0x240 bytes)"},
      {"PE32 without relocations or the stripped flag", noRelocations.Build(), true,
       "no relocation directory (and no relocations-stripped flag): the image can only run at "
       "its ImageBase"},
      {"TE without relocations", package::ConvertPeToTe(noRelocations.Build()), false,
       "no relocation directory: the TE image can only run at its ImageBase"},
      {"overlapping sections", overlapping, true,
       "section .reloc at RVA 0x220 overlaps section .text (RVA 0x200+0x30)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      emu::LoadModule(c.File);
      ADD_FAILURE() << "loaded";
    } catch (const emu::ImageError& error) {
      EXPECT_EQ(std::string(error.what()), c.Message);
    }
    if (c.Pe32) {
      try {
        package::PeimFile({{}, "M", package::DepexAlways(), package::CodeForm::Pe32}, c.File);
        ADD_FAILURE() << "packaged";
      } catch (const package::FormatError& error) {
        EXPECT_EQ(std::string(error.what()), c.Message);
      }
    }
  }
}

TEST(PeImageTest, AFileThatCannotBeOpenedIsAnImageError) {
  EXPECT_THROW(emu::ReadPeFile("/nonexistent/boardinit.efi"), emu::ImageError);
}

} // namespace

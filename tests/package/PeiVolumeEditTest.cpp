// The module placed into Debian's 32-bit OVMF (installed by scripts/setup.sh): it joins the PEI
// volume and nothing else moves; what cannot be placed is refused with the reason.
#include "package/edit/PeiVolumeEdit.h"
#include "emu/PeImage.h"
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Te.h"
#include "package/Volume.h"
#include "package/edit/Lzma.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr char OvmfCode[] = "/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd";
constexpr uint32_t PeiBase = 0x820000;

struct Placed {
  std::vector<uint8_t> Ovmf = emu::ReadFileBytes(OvmfCode);
  std::vector<uint8_t> Ffs = emu::ReadFileBytes(BOARDINIT_FFS);
  package::PeimPlacement Before =
      package::PlacePeim(Ovmf, Ffs, package::Dispatch::BeforeMemory, PeiBase);
  package::PeimPlacement After =
      package::PlacePeim(Ovmf, Ffs, package::Dispatch::AfterMemory, PeiBase);
};

const Placed& Fixture() {
  static const Placed placed;
  return placed;
}

const package::ParsedSection* SectionOf(const package::ParsedFile& File,
                                        package::SectionType Type) {
  for (const package::ParsedSection& section : File.Sections) {
    if (section.Type == Type) {
      return &section;
    }
  }
  return nullptr;
}

} // namespace

TEST(PeiVolumeEditTest, TheModuleJoinsThePeiVolumeAndEveryOtherFileKeepsItsPlace) {
  const Placed& f = Fixture();
  const package::ParsedFile module = package::ParseFile(f.Ffs);
  const std::vector<uint8_t> oldPei = package::ReadPeiVolume(f.Ovmf);
  const package::ParsedVolume oldFv = package::ParseVolume(oldPei);
  const uint64_t mainLength = package::ParseVolume(f.Ovmf).Length;
  struct Case {
    const char* What;
    const package::PeimPlacement& Placement;
    std::vector<uint8_t> Depex;
    size_t AprioriEntries;
  };
  const Case cases[] = {
      {"before memory", f.Before, package::DepexAlways(), 2},
      {"after memory", f.After, package::DepexAfterPpi(package::PermanentMemoryInstalledPpi), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const std::vector<uint8_t>& flash = c.Placement.Flash;
    ASSERT_EQ(flash.size(), f.Ovmf.size());
    EXPECT_TRUE(std::equal(flash.begin() + mainLength, flash.end(), f.Ovmf.begin() + mainLength));
    const std::vector<uint8_t> pei = package::ReadPeiVolume(flash);
    const package::ParsedVolume fv = package::ParseVolume(pei);
    ASSERT_EQ(fv.Files.size(), oldFv.Files.size() + 1);
    for (size_t i = 0; i < oldFv.Files.size(); ++i) {
      const package::VolumeFile& was = oldFv.Files[i];
      const package::VolumeFile& is = fv.Files[i];
      EXPECT_EQ(is.File.Name, was.File.Name);
      if (was.File.Name == package::PeiAprioriFileGuid) {
        const auto& list = package::OnlySection(is.File, package::SectionType::Raw).Data;
        EXPECT_EQ(list.size(), 16 * c.AprioriEntries);
        EXPECT_EQ(list.size() == 32 && std::equal(module.Name.Bytes.begin(),
                                                  module.Name.Bytes.end(), list.begin() + 16),
                  c.AprioriEntries == 2);
      } else if (was.File.Type != package::FileType::Pad) {
        EXPECT_EQ(is.Offset, was.Offset);
        EXPECT_TRUE(std::equal(pei.begin() + is.Offset, pei.begin() + is.Offset + is.File.Size,
                               oldPei.begin() + was.Offset));
      }
    }
    const package::VolumeFile& placed = fv.Files.back();
    EXPECT_EQ(placed.Offset, c.Placement.FileOffset);
    EXPECT_EQ(placed.File.Name, module.Name);
    EXPECT_EQ(package::OnlySection(placed.File, package::SectionType::PeiDepex).Data, c.Depex);
    const package::ParsedSection* te = SectionOf(placed.File, package::SectionType::Te);
    ASSERT_NE(te, nullptr);
    const package::TeImage image = package::ParseTe(te->Data);
    const uint32_t teAt =
        c.Placement.FileAddress + package::FileHeaderSize + te->Offset + te->HeaderSize;
    if (&c.Placement == &f.Before) {
      // Rebased to run where it lies, its first section on a 32-byte boundary.
      EXPECT_EQ(image.ImageBase, c.Placement.ImageAddress);
      EXPECT_EQ(teAt - image.StrippedBytes(), c.Placement.ImageAddress);
      EXPECT_EQ(c.Placement.ImageAddress % 32, 0u);
    } else {
      EXPECT_EQ(te->Data, package::OnlySection(module, package::SectionType::Te).Data);
    }
  }
}

TEST(PeiVolumeEditTest, WhatCannotBePlacedIsRefusedWithTheReason) {
  const Placed& f = Fixture();
  std::vector<uint8_t> unknownSize = package::LzmaCompress(f.Ffs);
  std::fill(unknownSize.begin() + 5, unknownSize.begin() + 13, 0xFF);
  std::vector<uint8_t> truncated = package::LzmaCompress(f.Ffs);
  truncated.resize(truncated.size() / 2);
  const std::vector<uint8_t> shipVolume = emu::ReadFileBytes(BOARDINIT_FV);
  const std::vector<uint8_t> freeform = package::BuildFile({package::PeiAprioriFileGuid,
                                                            package::FileType::Freeform,
                                                            {{package::SectionType::Raw, {}}}});
  struct Case {
    const char* What;
    std::function<void()> Run;
    std::string Message;
  };
  const Case cases[] = {
      {"the module placed twice",
       [&] { package::PlacePeim(f.Before.Flash, f.Ffs, package::Dispatch::AfterMemory, PeiBase); },
       "PEI volume already holds file " BOARDINIT_FILE_GUID},
      {"a volume without a compressed PEI volume",
       [&] { package::PlacePeim(shipVolume, f.Ffs, package::Dispatch::AfterMemory, PeiBase); },
       "main volume: no FV_IMAGE file holding an LZMA-compressed section"},
      {"a file that is not a PEIM",
       [&] { package::PlacePeim(f.Ovmf, freeform, package::Dispatch::AfterMemory, PeiBase); },
       "the module's file is of type"},
      {"an LZMA header without the size", [&] { package::LzmaDecompress(unknownSize); },
       "LZMA header: uncompressed size not given"},
      {"a cut LZMA stream", [&] { package::LzmaDecompress(truncated); }, "LZMA stream damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    try {
      c.Run();
      ADD_FAILURE() << "accepted";
    } catch (const package::FormatError& error) {
      EXPECT_EQ(std::string(error.what()).substr(0, c.Message.size()), c.Message);
    }
  }
}

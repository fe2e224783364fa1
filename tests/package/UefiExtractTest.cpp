// A second reader of the volume the build ships: UEFIExtract (Debian's uefitool-cli) must find
// the volume, our one PEI module with its GUID and name, its four sections and the free space,
// where our own reader finds them, and the module's image base where the module lies.
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Forms.h"
#include "package/Peim.h"
#include "package/Volume.h"

#include "emu/PeImage.h"
#include "support/UefiExtract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

using testsupport::ReportRow;

std::string Hex8(uint64_t Value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(Value));
  return text;
}

// The same rows from our reader.
std::vector<ReportRow> OurRows(const package::ParsedVolume& Fv) {
  std::vector<ReportRow> rows{
      {"Image", "UEFI", Hex8(0), Hex8(Fv.Length), "UEFI image"},
      {"Volume", "FFSv2", Hex8(0), Hex8(Fv.Length), "- " + Fv.FileSystem.ToString()}};
  const struct {
    package::SectionType Type;
    const char* Subtype;
    const char* Name;
  } sectionNames[] = {{package::SectionType::PeiDepex, "PEI dependency", "PEI dependency section"},
                      {package::SectionType::Te, "TE image", "TE image section"},
                      {package::SectionType::Pe32, "PE32 image", "PE32 image section"},
                      {package::SectionType::UserInterface, "UI", "UI section"},
                      {package::SectionType::Version, "Version", "Version section"}};
  for (const package::VolumeFile& file : Fv.Files) {
    const package::ParsedSection& ui =
        package::OnlySection(file.File, package::SectionType::UserInterface);
    rows.push_back(
        {"File", file.File.Type == package::FileType::Peim ? "PEI module" : "?", Hex8(file.Offset),
         Hex8(file.File.Size),
         "-- " + file.File.Name.ToString() + " | " + package::UserInterfaceName(ui.Data)});
    for (const package::ParsedSection& section : file.File.Sections) {
      ReportRow row{"Section", "?", Hex8(file.Offset + package::FileHeaderSize + section.Offset),
                    Hex8(section.Size), "?"};
      for (const auto& known : sectionNames) {
        if (known.Type == section.Type) {
          row.Subtype = known.Subtype;
          row.Name = std::string("--- ") + known.Name;
        }
      }
      rows.push_back(row);
    }
  }
  rows.push_back({"Free space", "", Hex8(Fv.FreeSpaceOffset), Hex8(Fv.Length - Fv.FreeSpaceOffset),
                  "-- Volume free space"});
  return rows;
}

using Bytes = std::vector<uint8_t>;

// An FFS file as other builders write one: any type, attributes and state, with its checksums.
Bytes RawFile(const package::Guid& Name, uint8_t Type, uint8_t Attributes, const Bytes& Data,
              uint8_t State = package::StoredValidState) {
  Bytes file(package::FileHeaderSize, 0);
  std::copy(Name.Bytes.begin(), Name.Bytes.end(), file.begin());
  file[18] = Type;
  file[19] = Attributes;
  package::Put24(file, 20, static_cast<uint32_t>(file.size() + Data.size()));
  file[16] = static_cast<uint8_t>(-package::Sum8(file));
  file[17] = (Attributes & package::AttributeChecksum) != 0
                 ? static_cast<uint8_t>(-package::Sum8(Data))
                 : package::FixedDataChecksum;
  file[23] = State;
  file.insert(file.end(), Data.begin(), Data.end());
  return file;
}

// A volume as EDK2 lays one out: its attributes and block map, the extended header naming it (in
// a pad file) where there is a name, the files 8-byte aligned, then erased space to 64 KiB.
Bytes Volume(const std::vector<Bytes>& Files,
             uint32_t Attributes = package::DefaultVolumeAttributes,
             const std::vector<package::BlockMapEntry>& Map = {{16, 0x1000}},
             const std::optional<package::Guid>& Name = std::nullopt) {
  Bytes fv(56, 0);
  std::copy(package::FirmwareFileSystem2.Bytes.begin(), package::FirmwareFileSystem2.Bytes.end(),
            fv.begin() + 16);
  package::Put64(fv, 32, 0x10000);
  package::Put32(fv, 40, package::VolumeSignature);
  package::Put32(fv, 44, Attributes);
  fv[55] = package::VolumeRevision;
  for (const package::BlockMapEntry& entry : Map) {
    fv.resize(fv.size() + 8, 0);
    package::Put32(fv, fv.size() - 8, entry.NumBlocks);
    package::Put32(fv, fv.size() - 4, entry.Length);
  }
  fv.resize(fv.size() + 8, 0);
  package::Put16(fv, 48, static_cast<uint16_t>(fv.size()));
  if (Name) {
    Bytes extended(Name->Bytes.begin(), Name->Bytes.end());
    extended.resize(20, 0);
    package::Put32(extended, 16, 20);
    package::Put16(fv, 52, static_cast<uint16_t>(fv.size() + package::FileHeaderSize));
    const Bytes pad =
        RawFile(*package::Guid::Parse("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), 0xF0, 0, extended);
    fv.insert(fv.end(), pad.begin(), pad.end());
  }
  package::Put16(fv, 50, static_cast<uint16_t>(-package::Sum16({fv.data(), fv[48]})));
  for (const Bytes& file : Files) {
    fv.resize(package::AlignUp(fv.size(), package::FileAlignment), package::ErasedByte);
    fv.insert(fv.end(), file.begin(), file.end());
  }
  fv.resize(0x10000, package::ErasedByte);
  return fv;
}

} // namespace

// Volumes other builders make, as a PEI core reads them: each is read by our reader exactly when
// UEFIExtract reads it without calling it broken, and the module is found where UEFIExtract has
// it. (Its note on a missing Volume Top File, which only a boot volume has, is left out.)
TEST(UefiExtractTest, OurReaderAcceptsAndRefusesTheVolumesUefiExtractDoes) {
  const Bytes module = emu::ReadFileBytes(BOARDINIT_FFS);
  Bytes deleted = module;
  deleted[23] = 0xE8; // header and data valid, then deleted
  const package::Guid name = *package::Guid::Parse("0AEB0C9A-5F43-4E2B-9C67-6B1A7E4D3F21");
  const package::Guid pad = *package::Guid::Parse("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
  const auto aligned = [&](uint8_t Alignment) {
    return RawFile(name, 0x01, package::AttributeChecksum | Alignment << 3, Bytes(16, 0x5A));
  };
  constexpr uint32_t Aligned4K = (package::DefaultVolumeAttributes & ~0x001F0000u) | 12 << 16;
  // A pad file up to where the next file's data starts at 0x1000.
  const Bytes padTo4K = RawFile(pad, 0xF0, 0, Bytes(0x1000 - 0x48 - 2 * 24, 0xFF));
  const struct {
    const char* Name;
    Bytes Fv;
    std::vector<std::string> TheirMessages;
    const char* OurRefusal; // none: read, and the module runs
  } cases[] = {
      {"named by an extended header",
       Volume({module}, package::DefaultVolumeAttributes, {{16, 0x1000}}, name),
       {},
       nullptr},
      {"a deleted copy before the module",
       Volume({deleted, module}),
       {"parseVolumeBody: file with duplicate GUID 1271D999-FAD7-455D-9894-5B642DD6EE1C"},
       nullptr},
      {"data aligned to 4 KiB as asked",
       Volume({padTo4K, aligned(5), module}, Aligned4K),
       {},
       nullptr},
      {"data asked to be 4 KiB-aligned and not",
       Volume({aligned(5), module}, Aligned4K),
       {"parseFileHeader: unaligned file"},
       "asks for 4096-byte alignment of its data"},
      {"data asked to be aligned beyond the volume",
       Volume({aligned(7), module}),
       {"parseFileHeader: unaligned file",
        "parseFileHeader: file alignment 10000h is greater than parent volume alignment 8h"},
       "asks for 65536-byte alignment"},
      {"a pad file holding data",
       Volume({RawFile(pad, 0xF0, 0, Bytes(16, 0)), module}),
       {"parsePadFileBody: non-UEFI data found in padding file"},
       "pad file holds data"},
      {"a block map entry of no blocks",
       Volume({module}, package::DefaultVolumeAttributes, {{0, 0x1000}, {16, 0x1000}}),
       {"parseRawArea: volume size stored in header 10000h differs from calculated using block "
        "map 0h"},
       "block map entry 0 is 0 blocks"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::Extracted theirs = testsupport::RunUefiExtract(c.Fv);
    std::erase_if(theirs.Messages, [](const std::string& M) { return M.starts_with("parse: "); });
    EXPECT_EQ(theirs.Messages, c.TheirMessages);
    try {
      const package::ParsedVolume fv = package::ParseVolume(c.Fv);
      emu::LoadModule(c.Fv);
      EXPECT_EQ(c.OurRefusal, nullptr) << "read";
      const auto live = std::find_if(fv.Files.begin(), fv.Files.end(), [](const auto& F) {
        return F.File.Type == package::FileType::Peim && !F.File.Deleted();
      });
      ASSERT_NE(live, fv.Files.end());
      EXPECT_TRUE(std::any_of(theirs.Rows.begin(), theirs.Rows.end(),
                              [&](const ReportRow& R) {
                                return R.Subtype == "PEI module" && R.Base == Hex8(live->Offset);
                              }))
          << "the module at " << Hex8(live->Offset);
      if (fv.Name) {
        EXPECT_EQ(theirs.Rows[1].Name, "- " + fv.Name->ToString());
      }
    } catch (const std::exception& error) {
      ASSERT_NE(c.OurRefusal, nullptr) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.OurRefusal), std::string::npos) << error.what();
    }
  }
}

TEST(UefiExtractTest, ReportsTheVolumeAsOurReaderReadsIt) {
  const std::vector<uint8_t> fv = emu::ReadFileBytes(BOARDINIT_FV);
  const testsupport::Extracted extracted = testsupport::RunUefiExtract(fv);
  // Its one message is about the volume holding no Volume Top File, the reset-vector file that
  // only the boot volume at the top of flash carries (the next test gives it one).
  EXPECT_EQ(extracted.Messages,
            std::vector<std::string>{
                "parse: not a single Volume Top File is found, the image may be corrupted"});

  const std::vector<ReportRow> ours = OurRows(package::ParseVolume(fv));
  EXPECT_EQ(ours.size(), 8u); // image, volume, file, four sections, free space
  EXPECT_EQ(ours[2].Name, "-- " BOARDINIT_FILE_GUID " | " BOARDINIT_UI_NAME);
  const std::vector<ReportRow>& theirs = extracted.Rows;
  ASSERT_EQ(theirs.size(), ours.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(theirs[i], ours[i]) << "row " << i << ": UEFIExtract " << theirs[i].Type << " | "
                                  << theirs[i].Subtype << " | " << theirs[i].Base << " | "
                                  << theirs[i].Size << " | " << theirs[i].Name;
  }
}

// With a Volume Top File after it, UEFIExtract takes the image to end at 4 GiB and checks that
// each module's image base is where the module lies: our volume, placed there, must pass without
// a message, in both code forms.
TEST(UefiExtractTest, AVolumePlacedBelow4GiBHasEveryImageBaseWhereUefiExtractExpectsIt) {
  constexpr uint32_t VolumeSize = 0x10000;
  constexpr uint32_t TopVolumeSize = 0x1000;
  const package::Guid volumeTopFile = *package::Guid::Parse("1BA0062E-C779-4582-8566-336AE8F78F09");
  // One raw file that ends where the volume (and the 4 GiB space) ends.
  const package::FileSpec top{
      volumeTopFile,
      package::FileType::Raw,
      {{package::SectionType::Raw,
        std::vector<uint8_t>(TopVolumeSize - package::VolumeHeaderSize - package::FileHeaderSize -
                                 package::SectionHeaderSize,
                             0x90)}}};
  const std::vector<uint8_t> topVolume = package::BuildVolume({&top, 1}, {.Size = TopVolumeSize});
  const std::vector<uint8_t> pe = emu::ReadFileBytes(BOARDINIT_IMAGE);
  for (const package::CodeForm form : {package::CodeForm::Te, package::CodeForm::Pe32}) {
    const package::FileSpec file =
        package::PeimFile({*package::Guid::Parse(BOARDINIT_FILE_GUID), BOARDINIT_UI_NAME,
                           package::DepexAlways(), form},
                          pe);
    std::vector<uint8_t> image = package::BuildVolumeInPlace(
        {&file, 1}, {.Size = VolumeSize}, uint32_t(0) - VolumeSize - TopVolumeSize);
    image.insert(image.end(), topVolume.begin(), topVolume.end());
    const testsupport::Extracted extracted = testsupport::RunUefiExtract(image);
    EXPECT_EQ(extracted.Messages, std::vector<std::string>{});
    ASSERT_EQ(extracted.Rows.size(), 9u); // image, two volumes, two files, three sections, free
    EXPECT_EQ(extracted.Rows[4].Subtype, form == package::CodeForm::Te ? "TE image" : "PE32 image");
    EXPECT_EQ(extracted.Rows.back().Name,
              "-- 1BA0062E-C779-4582-8566-336AE8F78F09 | Volume Top File");
  }
}

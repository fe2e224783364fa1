// A second reader of the volume the build ships: UEFIExtract (Debian's uefitool-cli) must find
// the volume, our one PEI module with its GUID and name, its four sections and the free space,
// where our own reader finds them, and the module's image base where the module lies.
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Peim.h"
#include "package/Volume.h"

#include "emu/PeImage.h"
#include "support/UefiExtract.h"

#include <gtest/gtest.h>

#include <cstdio>

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

} // namespace

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

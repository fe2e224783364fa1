// A second reader of the volume the build ships: UEFIExtract (Debian's uefitool-cli) must find
// the volume, our one PEI module with its GUID and name, its three sections and the free space,
// where our own reader finds them, and the module's image base where the module lies.
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Peim.h"
#include "package/Volume.h"

#include "emu/PeImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// One row of the report: type, subtype, base, size, CRC32 and the name (which may hold a '|').
struct ReportRow {
  std::string Type, Subtype, Base, Size, Name;
  bool operator==(const ReportRow&) const = default;
};

std::string Trim(const std::string& Text) {
  const size_t first = Text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

std::vector<ReportRow> ReadReport(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  std::vector<ReportRow> rows;
  std::string line;
  std::getline(in, line); // the column titles
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream cellText(line);
    for (std::string cell; std::getline(cellText, cell, '|');) {
      cells.push_back(Trim(cell));
    }
    if (cells.size() < 6) {
      ADD_FAILURE() << "report line " << line;
      continue;
    }
    std::string name = cells[5];
    for (size_t i = 6; i < cells.size(); ++i) {
      name += " | " + cells[i];
    }
    rows.push_back({cells[0], cells[1], cells[2], cells[3], name});
  }
  return rows;
}

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
                      {package::SectionType::UserInterface, "UI", "UI section"}};
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

// Runs UEFIExtract's report on Image; returns its messages (the lines it prints) and the report.
struct Extracted {
  std::vector<std::string> Messages;
  std::vector<ReportRow> Rows;
};

Extracted RunUefiExtract(std::span<const uint8_t> Image) {
  const std::string extract = BOARDINIT_UEFIEXTRACT;
  if (extract.empty()) {
    ADD_FAILURE() << "UEFIExtract not found: install Debian's uefitool-cli (scripts/setup.sh does)";
    return {};
  }
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "uefiextract";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "image.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(Image.data()),
             static_cast<std::streamsize>(Image.size()));
  const std::string command =
      "cd '" + dir.string() + "' && '" + extract + "' image.bin report >output.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  Extracted result;
  std::ifstream output(dir / "output.txt");
  for (std::string line; std::getline(output, line);) {
    result.Messages.push_back(line);
  }
  result.Rows = ReadReport(dir / "image.bin.report.txt");
  std::filesystem::remove_all(dir);
  return result;
}

} // namespace

TEST(UefiExtractTest, ReportsTheVolumeAsOurReaderReadsIt) {
  const std::vector<uint8_t> fv = emu::ReadFileBytes(BOARDINIT_FV);
  const Extracted extracted = RunUefiExtract(fv);
  // Its one message is about the volume holding no Volume Top File, the reset-vector file that
  // only the boot volume at the top of flash carries (the next test gives it one).
  EXPECT_EQ(extracted.Messages,
            std::vector<std::string>{
                "parse: not a single Volume Top File is found, the image may be corrupted"});

  const std::vector<ReportRow> ours = OurRows(package::ParseVolume(fv));
  EXPECT_EQ(ours.size(), 7u); // image, volume, file, three sections, free space
  EXPECT_EQ(ours[2].Name, "-- 1271D999-FAD7-455D-9894-5B642DD6EE1C | BoardInit");
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
        package::PeimFile({*package::Guid::Parse("1271D999-FAD7-455D-9894-5B642DD6EE1C"),
                           "BoardInit", package::DepexAlways(), form},
                          pe);
    std::vector<uint8_t> image = package::BuildVolumeInPlace(
        {&file, 1}, {.Size = VolumeSize}, uint32_t(0) - VolumeSize - TopVolumeSize);
    image.insert(image.end(), topVolume.begin(), topVolume.end());
    const Extracted extracted = RunUefiExtract(image);
    EXPECT_EQ(extracted.Messages, std::vector<std::string>{});
    ASSERT_EQ(extracted.Rows.size(), 9u); // image, two volumes, two files, three sections, free
    EXPECT_EQ(extracted.Rows[4].Subtype, form == package::CodeForm::Te ? "TE image" : "PE32 image");
    EXPECT_EQ(extracted.Rows.back().Name,
              "-- 1BA0062E-C779-4582-8566-336AE8F78F09 | Volume Top File");
  }
}

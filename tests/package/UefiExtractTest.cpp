// A second reader of the volume the build ships: UEFIExtract (Debian's uefitool-cli) must find
// the volume, our one PEI module with its GUID and name, its three sections and the free space,
// where our own reader finds them.
#include "package/Ffs.h"
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

} // namespace

TEST(UefiExtractTest, ReportsTheVolumeAsOurReaderReadsIt) {
  const std::string extract = BOARDINIT_UEFIEXTRACT;
  ASSERT_FALSE(extract.empty()) << "UEFIExtract not found: install Debian's uefitool-cli "
                                   "(scripts/setup.sh does)";
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "uefiextract";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(BOARDINIT_FV, dir / "fv.bin");
  const std::string command =
      "cd '" + dir.string() + "' && '" + extract + "' fv.bin report >output.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);

  // Its one message is about the volume holding no Volume Top File, the reset-vector file that
  // only the boot volume at the top of flash carries; anything else is a complaint.
  std::ifstream output(dir / "output.txt");
  for (std::string line; std::getline(output, line);) {
    EXPECT_EQ(line, "parse: not a single Volume Top File is found, the image may be corrupted");
  }

  const std::vector<uint8_t> fv = emu::ReadFileBytes(BOARDINIT_FV);
  const std::vector<ReportRow> ours = OurRows(package::ParseVolume(fv));
  EXPECT_EQ(ours.size(), 7u); // image, volume, file, three sections, free space
  EXPECT_EQ(ours[2].Name, "-- 1271D999-FAD7-455D-9894-5B642DD6EE1C | BoardInit");
  const std::vector<ReportRow> theirs = ReadReport(dir / "fv.bin.report.txt");
  ASSERT_EQ(theirs.size(), ours.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(theirs[i], ours[i]) << "row " << i << ": UEFIExtract " << theirs[i].Type << " | "
                                  << theirs[i].Subtype << " | " << theirs[i].Base << " | "
                                  << theirs[i].Size << " | " << theirs[i].Name;
  }
  std::filesystem::remove_all(dir);
}

// UEFIExtract (Debian's uefitool-cli), a second reader of what the build ships: its report, one
// row per item, and with Info set the info.txt of every item it dumps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

// One row of the report: type, subtype, base, size and the name (which may hold a '|').
struct ReportRow {
  std::string Type, Subtype, Base, Size, Name;
  bool operator==(const ReportRow&) const = default;
};

// An info.txt: its "Key: value" lines.
using ItemInfo = std::map<std::string, std::string>;

struct Extracted {
  std::vector<std::string> Messages; // what it printed
  std::vector<ReportRow> Rows;
  std::vector<ItemInfo> Items; // with Info only, in no particular order
};

inline std::string Trim(const std::string& Text) {
  const size_t first = Text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

inline std::vector<ReportRow> ReadReport(const std::filesystem::path& Path) {
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

inline ItemInfo ReadInfo(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  ItemInfo info;
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) {
      info[line.substr(0, colon)] = line.substr(colon + 2);
    }
  }
  return info;
}

inline Extracted RunUefiExtract(std::span<const uint8_t> Image, bool Info = false) {
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
  const std::string command = "cd '" + dir.string() + "' && '" + extract + "' image.bin " +
                              (Info ? "all" : "report") + " >output.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  Extracted result;
  std::ifstream output(dir / "output.txt");
  for (std::string line; std::getline(output, line);) {
    result.Messages.push_back(line);
  }
  result.Rows = ReadReport(dir / "image.bin.report.txt");
  if (Info) {
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(dir / "image.bin.dump")) {
      if (entry.path().filename() == "info.txt") {
        result.Items.push_back(ReadInfo(entry.path()));
      }
    }
  }
  std::filesystem::remove_all(dir);
  return result;
}

} // namespace testsupport

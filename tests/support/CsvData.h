// Reference data kept beside the tests as CSV files: one record a line, lines starting with '#'
// are comments. Kept as data so that it is read against its source, not against the module.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// The records of a file under tests/, each split at its commas.
inline std::vector<std::vector<std::string>> ReadCsv(const std::string& Path) {
  std::ifstream in(std::string(BOARDINIT_TESTS_DIR) + "/" + Path);
  if (!in) {
    throw std::runtime_error("cannot read " + Path);
  }
  std::vector<std::vector<std::string>> records;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) {
      cells.push_back(cell);
    }
    records.push_back(std::move(cells));
  }
  return records;
}

// A cell written in decimal or as 0x...
inline uint32_t Number(const std::string& Cell) {
  return static_cast<uint32_t>(std::stoul(Cell, nullptr, 0));
}

} // namespace testsupport

// The board files in boards/, in name order, as CI finds them: tests that iterate them cover a
// new board without a change of their own.
#pragma once

#include <algorithm>
#include <filesystem>
#include <vector>

namespace testsupport {

inline std::vector<std::filesystem::path> BuiltInBoardFiles() {
  std::vector<std::filesystem::path> boards;
  for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
    if (entry.path().extension() == ".json") {
      boards.push_back(entry.path());
    }
  }
  std::sort(boards.begin(), boards.end());
  return boards;
}

} // namespace testsupport

// What the benchmarks run: the built-in boards, read once, and the image the build made or
// another one named by BOARDINIT_BENCH_IMAGE (its map beside it, with .map for .efi), to compare
// two builds on the same machine.
#pragma once

#include "sim/BoardFile.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

namespace bench {

inline const sim::BoardConfig& BuiltInBoard(const std::string& Name) {
  static std::map<std::string, sim::BoardConfig> loaded;
  auto found = loaded.find(Name);
  if (found == loaded.end()) {
    found = loaded
                .emplace(Name, sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + Name +
                                                  ".json"))
                .first;
  }
  return found->second;
}

inline std::string ImagePath() {
  const char* path = std::getenv("BOARDINIT_BENCH_IMAGE");
  return path != nullptr ? path : BOARDINIT_IMAGE;
}

inline std::string MapPath() {
  const char* path = std::getenv("BOARDINIT_BENCH_IMAGE");
  return path != nullptr ? std::filesystem::path(path).replace_extension(".map").string()
                         : BOARDINIT_IMAGE_MAP;
}

// Process CPU time, so that other work on the machine counts less.
inline double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace bench

// Reads a board description file (JSON) into a BoardConfig. Every problem, from a missing file to
// an unknown key, is one BoardFileError whose message names the file and, where there is one,
// the line and column.
#pragma once

#include "sim/BoardConfig.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sim {

class BoardFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A description is a few kilobytes; anything much larger is not one.
constexpr size_t MaxBoardFileBytes = 1 << 20;

// Path must name a regular file of at most MaxBoardFileBytes.
BoardConfig LoadBoardFile(const std::string& Path);
// Source names the text in messages (normally the file's path).
BoardConfig ParseBoardText(std::string_view Text, std::string_view Source);

} // namespace sim

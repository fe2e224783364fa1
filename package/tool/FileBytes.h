// Whole files in and out for the package tools: an input read at once, an output written
// through a temporary beside it and renamed over it, so a failed run leaves no half-written file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

// Throws FormatError naming the path when it cannot be opened or read.
std::vector<uint8_t> ReadFileBytes(const std::string& Path);
// Throws FormatError naming the temporary when it cannot be written.
void WriteFileBytes(const std::string& Path, std::span<const uint8_t> Bytes);

} // namespace package

// Where GDB finds the image's source-level symbols: the debug twin the build links beside the
// image (<name>.debug.efi, the same objects with their DWARF kept). The twin's section table is
// longer, so each of its sections lies the same distance further up than in the image; GDB loads
// its symbols with an offset that puts them where the runner put the image's code.
#pragma once

#include "emu/PeImage.h"

#include <cstdint>
#include <optional>
#include <string>

namespace emu {

// How far each section of Twin lies above the same section of Image. Throws ImageError when the
// two do not have the same code and data sections in the same order, a constant distance apart.
uint32_t DebugTwinShift(const PeImage& Image, const PeImage& Twin);

// The twin's path for an image's path: boardinit.efi -> boardinit.debug.efi.
std::string DebugTwinPath(const std::string& ImagePath);

// How far the symbols of the twin beside ImagePath lie from the image loaded at Base (what
// `symbol-file -o` is given); none when there is no twin or it does not fit (Why says so).
std::optional<uint32_t> SymbolOffset(const PeImage& Image, const std::string& ImagePath,
                                     uint32_t Base, std::string& Why);

// The GDB command that loads the twin's symbols for the image loaded at Base, or none when there
// is no twin beside the image, or it does not match the image (Why says so).
std::optional<std::string> SymbolFileCommand(const PeImage& Image, const std::string& ImagePath,
                                             uint32_t Base, std::string& Why);

} // namespace emu

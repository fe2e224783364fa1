// The module's image as the image runner loads it, from any form it ships in. The reading is
// package/'s (LoadedImage.h): the runner runs what the packaging tools package, and refuses what
// they refuse. Errors here are ImageErrors, one line each.
#pragma once

#include "package/LoadedImage.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace emu {

// A file that is not a loadable image; the message names the first problem found.
class ImageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

using PeImage = package::LoadedImage;

// A file holding the module is at most a flash part: a volume holds it with room to spare.
constexpr uint64_t MaxModuleFileSize = 64u << 20;

// Throws ImageError when File is not a PE32 i386 image this runner can load.
PeImage ParsePe(std::span<const uint8_t> File);

// Reads a file whole (a regular file of at most MaxModuleFileSize bytes); anything else is an
// ImageError too.
std::vector<uint8_t> ReadFileBytes(const std::string& Path);
PeImage ReadPeFile(const std::string& Path);

// The module's image from any form it ships in: a PE32 image, a TE image (laid out by its RVAs,
// the TE header at StrippedSize - 40), an FFS file or a firmware volume holding it as a PEIM.
// A module from a volume runs in place when the volume builder rebased it (ImageBase not 0).
PeImage LoadModule(std::span<const uint8_t> File);
PeImage ReadModuleFile(const std::string& Path);

// The image's memory as it must look when loaded at Base instead of ImageBase.
std::vector<uint8_t> RelocatedMemory(const PeImage& Image, uint32_t Base);

} // namespace emu

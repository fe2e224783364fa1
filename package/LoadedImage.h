// A PEI module's image as a loader places it in memory: headers and sections where their RVAs
// say, and the RVAs of the 32-bit addresses that move with it. The image runner runs what this
// loads and the packaging tools package only what it loads, so the two cannot disagree on what a
// module's image may be: i386; PE32, or the TE form of one; no imports; base relocations kept,
// 32-bit absolute ones, each inside the image; the entry point and every section inside the
// image, no two sections on the same memory. Everything else is refused with one line.
#pragma once

#include "package/ImageHeaders.h"
#include "package/Section.h"

#include <cstdint>
#include <span>
#include <vector>

namespace package {

// A loader maps the whole image; a header claiming more than this is taken for damage.
constexpr uint32_t MaxImageSize = 16u << 20;

struct LoadedImage {
  uint16_t Machine = 0;
  uint16_t Subsystem = 0;
  uint32_t ImageBase = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  // PointerToRawData is the offset in the file that was loaded (in a TE image, its own).
  std::vector<ImageSection> Sections;
  // RVAs of the 32-bit absolute addresses that move with the image.
  std::vector<uint32_t> Fixups;
  // The image as laid out in memory at ImageBase: SizeOfImage bytes, headers and sections.
  std::vector<uint8_t> Memory;
  // Placed by a volume builder to run where it lies, at ImageBase, rather than relocated.
  bool InPlace = false;
};

// Throws FormatError for anything but a PE32 or TE image of a module, as listed above.
LoadedImage LoadPe32(std::span<const uint8_t> File);
LoadedImage LoadTe(std::span<const uint8_t> File);
// A PE32 or TE section's image, by its section type.
LoadedImage LoadImage(SectionType Type, std::span<const uint8_t> File);

} // namespace package

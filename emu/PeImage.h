// Reads a PE32 image file as the image runner loads it, and as the image check and the size
// report inspect it. Only what this module's image may be is accepted: i386, PE32, no imports,
// 32-bit absolute base relocations. Every offset is checked against the file before it is used,
// so a damaged file gives one clear error instead of a crash.
#pragma once

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

constexpr uint16_t MachineI386 = 0x14C;
constexpr uint16_t MagicPe32 = 0x10B;
constexpr uint16_t MagicPe32Plus = 0x20B;
constexpr uint16_t SubsystemEfiBootServiceDriver = 11;

// The runner maps the whole image; a header claiming more than this is taken for damage.
constexpr uint32_t MaxImageSize = 16u << 20;

struct PeSection {
  std::string Name;
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t PointerToRawData = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t Characteristics = 0;
};

struct PeDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
};

struct PeImage {
  uint16_t Machine = 0;
  uint16_t Magic = 0;
  uint16_t Subsystem = 0;
  uint16_t Characteristics = 0;
  uint32_t TimeDateStamp = 0;
  uint32_t ImageBase = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  PeDirectory ImportTable;
  PeDirectory BaseRelocationTable;
  std::vector<PeSection> Sections;
  // RVAs of the 32-bit absolute addresses that move with the image.
  std::vector<uint32_t> Fixups;
  // The image as laid out in memory at ImageBase: SizeOfImage bytes, headers and sections.
  std::vector<uint8_t> Memory;
  // Placed by a volume builder to run where it lies, at ImageBase: the runner maps it there
  // rather than relocating it.
  bool InPlace = false;
};

// Throws ImageError when File is not a PE32 i386 image this runner can load.
PeImage ParsePe(std::span<const uint8_t> File);

// Reads and parses a file; an unreadable file is an ImageError too.
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

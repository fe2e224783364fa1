// What the packaging and the loader need from a PE32 image's headers and from its base
// relocations, for both the PE32 and the TE form of it (a TE image keeps the PE32's section
// headers and RVAs). Readers refuse what does not fit the file; what a module's image may be is
// LoadedImage.h's to say.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

constexpr uint16_t MachineI386 = 0x14C;
constexpr uint16_t MagicPe32 = 0x10B;
constexpr uint16_t MagicPe32Plus = 0x20B;
constexpr uint16_t SubsystemEfiBootServiceDriver = 11;
constexpr uint16_t FileRelocationsStripped = 0x0001; // IMAGE_FILE_RELOCS_STRIPPED
constexpr uint32_t SectionHeaderBytes = 40;

struct ImageDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
  bool operator==(const ImageDirectory&) const = default;
};

struct ImageSection {
  std::string Name;
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t PointerToRawData = 0; // an offset in the PE32 file, in the TE form too
  uint32_t SizeOfRawData = 0;
  uint32_t Characteristics = 0;

  // What the section takes in memory: VirtualSize, or the file data where that is 0.
  uint32_t MemorySize() const { return VirtualSize != 0 ? VirtualSize : SizeOfRawData; }
};

struct PeHeaders {
  uint16_t Machine = 0;
  uint16_t Characteristics = 0;
  uint32_t TimeDateStamp = 0;
  uint16_t Magic = 0;
  uint16_t Subsystem = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t BaseOfCode = 0;
  uint32_t ImageBase = 0;
  uint32_t ImageBaseOffset = 0; // file offset of the ImageBase field
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t SectionTableOffset = 0; // everything before it is what a TE image strips
  ImageDirectory Import;
  ImageDirectory BaseRelocation;
  ImageDirectory Debug;
  ImageDirectory DelayImport;
  std::vector<ImageSection> Sections;
};

// Reads the headers of a PE32 file (not PE32+); refuses what does not fit the file.
PeHeaders ReadPeHeaders(std::span<const uint8_t> File);

// Reads Count section headers at Offset of File.
std::vector<ImageSection> ReadSectionTable(std::span<const uint8_t> File, uint64_t Offset,
                                           uint32_t Count);

// The file offset of Size bytes at Rva, found through the sections' raw data; StrippedBytes is
// what precedes the file (0 for a PE32, StrippedSize minus the TE header for a TE image).
// Refuses a range that is not all in one section's raw data inside the file.
uint32_t FileOffsetOfRva(std::span<const ImageSection> Sections, uint32_t Rva, uint32_t Size,
                         uint32_t StrippedBytes, uint64_t FileSize);

// RVAs of the 32-bit absolute fixups of the relocation table at Directory (read from File
// through Sections). Refuses relocation types other than HIGHLOW (and the padding ABSOLUTE), and
// a fixup whose 4 bytes do not lie below ImageSize (an RVA is never taken modulo 4 GiB).
std::vector<uint32_t> ReadFixups(std::span<const uint8_t> File,
                                 std::span<const ImageSection> Sections, ImageDirectory Directory,
                                 uint32_t StrippedBytes, uint64_t ImageSize);

// Adds Delta to the 32-bit word at each fixup of File (where the fixup's RVA lies in the file).
void ApplyFixups(std::span<uint8_t> File, std::span<const ImageSection> Sections,
                 std::span<const uint32_t> Fixups, uint32_t StrippedBytes, uint32_t Delta);

} // namespace package

// What the packaging needs from a PE32 image's headers and from its base relocations, for
// both the PE32 and the TE form of it (a TE image keeps the PE32's section headers and RVAs).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

constexpr uint16_t MachineI386 = 0x14C;

struct ImageDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
};

struct ImageSection {
  std::string Name;
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t PointerToRawData = 0; // an offset in the PE32 file, in the TE form too
  uint32_t SizeOfRawData = 0;
};

struct PeHeaders {
  uint16_t Machine = 0;
  uint16_t Subsystem = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t BaseOfCode = 0;
  uint32_t ImageBase = 0;
  uint32_t ImageBaseOffset = 0;    // file offset of the ImageBase field
  uint32_t SectionTableOffset = 0; // everything before it is what a TE image strips
  ImageDirectory BaseRelocation;
  ImageDirectory Debug;
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
// through Sections). Refuses relocation types other than HIGHLOW (and the padding ABSOLUTE).
std::vector<uint32_t> ReadFixups(std::span<const uint8_t> File,
                                 std::span<const ImageSection> Sections, ImageDirectory Directory,
                                 uint32_t StrippedBytes);

// Adds Delta to the 32-bit word at each fixup of File (where the fixup's RVA lies in the file).
void ApplyFixups(std::span<uint8_t> File, std::span<const ImageSection> Sections,
                 std::span<const uint32_t> Fixups, uint32_t StrippedBytes, uint32_t Delta);

} // namespace package

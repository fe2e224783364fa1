// Sections of an FFS file (EFI_COMMON_SECTION_HEADER: a 24-bit size that counts the header, and
// a type), each starting 4-byte aligned from the start of the file's data.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace package {

enum class SectionType : uint8_t {
  Compression = 0x01,
  GuidDefined = 0x02,
  Pe32 = 0x10,
  Pic = 0x11,
  Te = 0x12,
  DxeDepex = 0x13,
  Version = 0x14,
  UserInterface = 0x15,
  Compatibility16 = 0x16,
  FirmwareVolumeImage = 0x17,
  FreeformSubtypeGuid = 0x18,
  Raw = 0x19,
  PeiDepex = 0x1B,
  MmDepex = 0x1C,
};

constexpr size_t SectionHeaderSize = 4;
constexpr size_t SectionAlignment = 4;
// A section this large or larger needs the extended header, which this library never writes.
constexpr uint32_t MaxSectionSize = 0xFFFFFF;

struct Section {
  SectionType Type{};
  std::vector<uint8_t> Data; // what follows the header
};

// A section found in a file's data, with where it lies, for readers that compare field by field.
struct ParsedSection {
  SectionType Type{};
  uint32_t Offset = 0;     // of the header, from the start of the data that was parsed
  uint32_t Size = 0;       // header included, as stored
  uint32_t HeaderSize = 0; // 4, or 8 for the extended form
  std::vector<uint8_t> Data;
};

// The sections one after another, each padded with zeros to the next 4-byte boundary but the
// last. Throws FormatError for a section too large for the common header.
std::vector<uint8_t> BuildSections(std::span<const Section> Sections);

// Every section in Data, in order; Data must hold whole sections and nothing else but the zero
// padding between them.
std::vector<ParsedSection> ParseSections(std::span<const uint8_t> Data);

// Names are printable ASCII, written one UCS-2 unit a character.
constexpr uint8_t FirstNameCharacter = 0x20;
constexpr uint8_t LastNameCharacter = 0x7E;

// The user-interface section's data: the name in UCS-2 with its terminating zero. Refuses a name
// with anything but printable ASCII.
std::vector<uint8_t> UserInterfaceData(std::string_view AsciiName);
// The name back; refused unless it is UCS-2 ending in one zero and within printable ASCII.
std::string UserInterfaceName(std::span<const uint8_t> Data);

// What a version section carries: a build number, then the version as UCS-2 text with its
// terminating zero.
struct ModuleVersion {
  uint16_t BuildNumber = 0;
  std::string Text;
  bool operator==(const ModuleVersion&) const = default;
};
// Refused unless the text is printable ASCII.
std::vector<uint8_t> VersionData(const ModuleVersion& Version);
// Refused as the user-interface name is, or when the build number is missing.
ModuleVersion ParseVersionData(std::span<const uint8_t> Data);

std::string SectionTypeName(SectionType Type);

} // namespace package

// FFS files (EFI_FFS_FILE_HEADER, 24 bytes): name, header and data checksums, type, attributes,
// a 24-bit size that counts the header, and the state byte.
//
// Files written here set FFS_ATTRIB_CHECKSUM, so the data checksum covers the file's data rather
// than holding the fixed 0xAA: a reader can tell a damaged module from a good one. The state is
// stored as a volume of erase polarity 1 holds it (every bit the file's life has set is a bit
// programmed from 1 to 0).
#pragma once

#include "package/Guid.h"
#include "package/Section.h"

#include <cstdint>
#include <span>
#include <vector>

namespace package {

enum class FileType : uint8_t {
  Raw = 0x01,
  Freeform = 0x02,
  SecurityCore = 0x03,
  PeiCore = 0x04,
  DxeCore = 0x05,
  Peim = 0x06,
  Driver = 0x07,
  CombinedPeimDriver = 0x08,
  Application = 0x09,
  Mm = 0x0A,
  FirmwareVolumeImage = 0x0B,
  Pad = 0xF0,
};

constexpr size_t FileHeaderSize = 24;
constexpr size_t FileAlignment = 8;        // of every file in a volume
constexpr uint32_t MaxFileSize = 0xFFFFFF; // a header without the large-file size
constexpr uint8_t AttributeLargeFile = 0x01;
constexpr uint8_t AttributeDataAlignment2 = 0x02; // FFS3's larger alignments
constexpr uint8_t AttributeDataAlignment = 0x38;  // an index into DataAlignment()
constexpr uint8_t AttributeChecksum = 0x40;
constexpr uint8_t FixedDataChecksum = 0xAA;

// State bits as the PI specification counts them (set = happened).
constexpr uint8_t StateHeaderConstruction = 0x01;
constexpr uint8_t StateHeaderValid = 0x02;
constexpr uint8_t StateDataValid = 0x04;
constexpr uint8_t StateMarkedForUpdate = 0x08;
constexpr uint8_t StateDeleted = 0x10;
constexpr uint8_t StateHeaderInvalid = 0x20;
// A complete file as an erase-polarity-1 volume stores it: 0xF8.
constexpr uint8_t StoredValidState =
    static_cast<uint8_t>(~(StateHeaderConstruction | StateHeaderValid | StateDataValid));

struct FileSpec {
  Guid Name;
  FileType Type = FileType::Peim;
  std::vector<Section> Sections;
};

// The whole file, header first; its size is the header plus the sections, unpadded.
std::vector<uint8_t> BuildFile(const FileSpec& Wanted);

// The alignment a file's attributes ask for its data (FFS_ATTRIB_DATA_ALIGNMENT): 1 to 64 KiB.
uint32_t DataAlignment(uint8_t Attributes);

struct ParsedFile {
  Guid Name;
  FileType Type{};
  uint8_t Attributes = 0;
  uint8_t HeaderChecksum = 0;
  uint8_t DataChecksum = 0;
  uint8_t State = 0;                   // as stored
  uint32_t Size = 0;                   // header included
  std::vector<ParsedSection> Sections; // offsets from the start of the file's data

  // Marked deleted (a PEI core steps over it by its size and looks no further).
  bool Deleted() const;
};

// The file at the start of Data (which may go on past it: a volume's next file). Refuses a file
// that runs past Data, a wrong header or data checksum, a state other than a complete file's, a
// large-file header, and sections that do not fill the file exactly. Pad files' data is not
// parsed into sections.
ParsedFile ParseFile(std::span<const uint8_t> Data);

// A file in a volume: a live one read as ParseFile reads it; one marked deleted only as far as a
// PEI core reads it to step over it (name, type, state and a size that fits Data).
ParsedFile ParseVolumeFile(std::span<const uint8_t> Data);

// Whether Data starts with an FFS file header whose header checksum holds: enough to tell a file
// from other forms, even one whose size or data is damaged.
bool LooksLikeFile(std::span<const uint8_t> Data);

// The one section of Type in File; refuses none or several.
const ParsedSection& OnlySection(const ParsedFile& File, SectionType Type);

std::string FileTypeName(FileType Type);

} // namespace package

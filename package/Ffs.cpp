#include "package/Ffs.h"

#include "common/Format.h"
#include "package/Bytes.h"

#include <algorithm>

namespace package {

namespace {

constexpr size_t HeaderChecksumAt = 16;
constexpr size_t DataChecksumAt = 17;
constexpr size_t TypeAt = 18;
constexpr size_t AttributesAt = 19;
constexpr size_t SizeAt = 20;
constexpr size_t StateAt = 23;

// The header checksum is taken with the state and the data checksum as zero, so that neither
// a state change nor the data's checksum disturbs it.
uint8_t HeaderSum(std::span<const uint8_t> Header) {
  return static_cast<uint8_t>(Sum8(Header) - Header[StateAt] - Header[DataChecksumAt]);
}

} // namespace

std::vector<uint8_t> BuildFile(const FileSpec& Wanted) {
  const std::vector<uint8_t> data = BuildSections(Wanted.Sections);
  const uint64_t size = FileHeaderSize + data.size();
  if (size > MaxFileSize) {
    throw FormatError("file of " + std::to_string(size) +
                      " bytes is too large for a header without the large-file size");
  }
  std::vector<uint8_t> file(FileHeaderSize, 0);
  std::copy(Wanted.Name.Bytes.begin(), Wanted.Name.Bytes.end(), file.begin());
  file[TypeAt] = static_cast<uint8_t>(Wanted.Type);
  file[AttributesAt] = AttributeChecksum;
  Put24(file, SizeAt, static_cast<uint32_t>(size));
  file[HeaderChecksumAt] = static_cast<uint8_t>(-HeaderSum(file));
  file[DataChecksumAt] = static_cast<uint8_t>(-Sum8(data));
  file[StateAt] = StoredValidState;
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

uint32_t DataAlignment(uint8_t Attributes) {
  static constexpr uint32_t Alignments[] = {1, 16, 128, 512, 1024, 4096, 32768, 65536};
  return Alignments[(Attributes & AttributeDataAlignment) >> 3];
}

namespace {

bool MarkedDeleted(uint8_t StoredState) {
  // Stored with erase polarity 1: a bit the file's life has set is a 0. The highest one counts.
  return (~StoredState & (StateDeleted | StateHeaderInvalid)) == StateDeleted;
}

} // namespace

bool ParsedFile::Deleted() const {
  return MarkedDeleted(State);
}

ParsedFile ParseVolumeFile(std::span<const uint8_t> Data) {
  const Reader in(Data);
  if (!MarkedDeleted(in.U8(StateAt, "file header"))) {
    return ParseFile(Data);
  }
  const auto header = in.Slice(0, FileHeaderSize, "file header");
  ParsedFile file;
  file.Name = Guid::FromBytes(header.first<16>());
  file.Type = static_cast<FileType>(header[TypeAt]);
  file.Attributes = header[AttributesAt];
  file.Size = in.U24(SizeAt, "file header");
  file.State = header[StateAt];
  if (file.Size < FileHeaderSize) {
    throw FormatError("deleted file " + file.Name.ToString() + ": size " + tools::Hex(file.Size) +
                      " is smaller than its header");
  }
  in.Need(0, file.Size, "deleted file " + file.Name.ToString());
  return file;
}

ParsedFile ParseFile(std::span<const uint8_t> Data) {
  const Reader in(Data);
  const auto header = in.Slice(0, FileHeaderSize, "file header");
  ParsedFile file;
  file.Name = Guid::FromBytes(header.first<16>());
  file.HeaderChecksum = header[HeaderChecksumAt];
  file.DataChecksum = header[DataChecksumAt];
  file.Type = static_cast<FileType>(header[TypeAt]);
  file.Attributes = header[AttributesAt];
  file.Size = in.U24(SizeAt, "file header");
  file.State = header[StateAt];
  const std::string name = "file " + file.Name.ToString();
  if (HeaderSum(header) != 0) {
    throw FormatError(name + ": wrong header checksum " + tools::Hex(file.HeaderChecksum));
  }
  if ((file.Attributes & AttributeLargeFile) != 0) {
    throw FormatError(name + ": a large-file header, which an FFS2 volume does not hold");
  }
  if (file.State != StoredValidState) {
    throw FormatError(name + ": state " + tools::Hex(file.State) + " is not a complete file's (" +
                      tools::Hex(StoredValidState) + ")");
  }
  if (file.Size < FileHeaderSize) {
    throw FormatError(name + ": size " + tools::Hex(file.Size) + " is smaller than its header");
  }
  const auto data = in.Slice(FileHeaderSize, file.Size - FileHeaderSize, name + " data");
  if ((file.Attributes & AttributeChecksum) != 0) {
    if (static_cast<uint8_t>(Sum8(data) + file.DataChecksum) != 0) {
      throw FormatError(name + ": wrong data checksum " + tools::Hex(file.DataChecksum));
    }
  } else if (file.DataChecksum != FixedDataChecksum) {
    throw FormatError(name + ": data checksum " + tools::Hex(file.DataChecksum) +
                      " without FFS_ATTRIB_CHECKSUM must be 0xAA");
  }
  if (file.Type != FileType::Pad && file.Type != FileType::Raw) {
    try {
      file.Sections = ParseSections(data);
    } catch (const FormatError& error) {
      throw FormatError(name + ": " + error.what());
    }
  }
  return file;
}

bool LooksLikeFile(std::span<const uint8_t> Data) {
  return Data.size() >= FileHeaderSize && HeaderSum(Data.first(FileHeaderSize)) == 0;
}

const ParsedSection& OnlySection(const ParsedFile& File, SectionType Type) {
  const auto matches = [&](const ParsedSection& s) { return s.Type == Type; };
  const auto count = std::count_if(File.Sections.begin(), File.Sections.end(), matches);
  if (count != 1) {
    throw FormatError("file " + File.Name.ToString() + " holds " + std::to_string(count) + " " +
                      SectionTypeName(Type) + " sections, not one");
  }
  return *std::find_if(File.Sections.begin(), File.Sections.end(), matches);
}

std::string FileTypeName(FileType Type) {
  switch (Type) {
  case FileType::Raw:
    return "raw";
  case FileType::Freeform:
    return "freeform";
  case FileType::SecurityCore:
    return "SEC core";
  case FileType::PeiCore:
    return "PEI core";
  case FileType::DxeCore:
    return "DXE core";
  case FileType::Peim:
    return "PEIM";
  case FileType::Driver:
    return "driver";
  case FileType::CombinedPeimDriver:
    return "combined PEIM/driver";
  case FileType::Application:
    return "application";
  case FileType::Mm:
    return "MM";
  case FileType::FirmwareVolumeImage:
    return "volume image";
  case FileType::Pad:
    return "pad";
  }
  return "type " + tools::Hex(static_cast<uint8_t>(Type));
}

} // namespace package

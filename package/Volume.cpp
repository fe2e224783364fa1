#include "package/Volume.h"

#include "common/Format.h"
#include "package/Bytes.h"
#include "package/Rebase.h"

#include <algorithm>

namespace package {

namespace {

constexpr size_t FileSystemAt = 16;
constexpr size_t LengthAt = 32;
constexpr size_t SignatureAt = 40;
constexpr size_t AttributesAt = 44;
constexpr size_t HeaderLengthAt = 48;
constexpr size_t ChecksumAt = 50;
constexpr size_t ExtHeaderOffsetAt = 52;
constexpr size_t RevisionAt = 55;
constexpr size_t BlockMapAt = 56;
constexpr size_t MinHeaderSize = BlockMapAt + 8; // at least the terminating entry
// EFI_FIRMWARE_VOLUME_EXT_HEADER: the volume's name, then the extended header's size.
constexpr size_t ExtHeaderSizeAt = 16;
constexpr uint32_t MinExtHeaderSize = 20;

std::vector<uint8_t> Assemble(std::span<const FileSpec> Files, const VolumeSpec& Wanted) {
  if (Wanted.BlockSize == 0 || Wanted.Size % Wanted.BlockSize != 0 ||
      Wanted.Size < VolumeHeaderSize) {
    throw FormatError("volume size " + tools::Hex(Wanted.Size) + " is not a whole number of " +
                      tools::Hex(Wanted.BlockSize) + "-byte blocks");
  }
  std::vector<uint8_t> volume(VolumeHeaderSize, 0);
  std::copy(FirmwareFileSystem2.Bytes.begin(), FirmwareFileSystem2.Bytes.end(),
            volume.begin() + FileSystemAt);
  Put64(volume, LengthAt, Wanted.Size);
  Put32(volume, SignatureAt, VolumeSignature);
  Put32(volume, AttributesAt, Wanted.Attributes);
  Put16(volume, HeaderLengthAt, VolumeHeaderSize);
  volume[RevisionAt] = VolumeRevision;
  Put32(volume, BlockMapAt, static_cast<uint32_t>(Wanted.Size / Wanted.BlockSize));
  Put32(volume, BlockMapAt + 4, Wanted.BlockSize);
  Put16(volume, ChecksumAt, static_cast<uint16_t>(-Sum16(volume)));
  for (const FileSpec& wanted : Files) {
    volume.resize(AlignUp(volume.size(), FileAlignment), ErasedByte);
    const std::vector<uint8_t> file = BuildFile(wanted);
    volume.insert(volume.end(), file.begin(), file.end());
  }
  if (volume.size() > Wanted.Size) {
    throw FormatError("the files need " + std::to_string(volume.size()) +
                      " bytes; the volume holds " + std::to_string(Wanted.Size));
  }
  volume.resize(Wanted.Size, ErasedByte);
  return volume;
}

bool AllErased(std::span<const uint8_t> Bytes) {
  return std::all_of(Bytes.begin(), Bytes.end(), [](uint8_t b) { return b == ErasedByte; });
}

// The extended header (the volume's name) lies where ExtHeaderOffset says, inside a pad file as
// EDK2 builds it; a PEI core looks for the first file after it. Returns where that is.
uint64_t ReadExtendedHeader(std::span<const uint8_t> Volume, ParsedVolume& Fv) {
  const Reader in(Volume);
  if (Fv.ExtHeaderOffset < Fv.HeaderLength) {
    throw FormatError("volume extended header at " + tools::Hex(Fv.ExtHeaderOffset) +
                      " lies inside the volume header");
  }
  in.Need(Fv.ExtHeaderOffset, MinExtHeaderSize, "volume extended header");
  const uint32_t size = in.U32(Fv.ExtHeaderOffset + ExtHeaderSizeAt, "volume extended header");
  if (size < MinExtHeaderSize) {
    throw FormatError("volume extended header of " + tools::Hex(size) + " bytes");
  }
  in.Need(Fv.ExtHeaderOffset, size, "volume extended header");
  Fv.Name = Guid::FromBytes(in.Slice(Fv.ExtHeaderOffset, 16, "").first<16>());
  return std::min(AlignUp(uint64_t{Fv.ExtHeaderOffset} + size, FileAlignment), Fv.Length);
}

// A file's data at the alignment its attributes ask for, which the volume's own alignment must
// allow (the volume may lie anywhere its alignment permits); a pad file's data all erased.
void CheckFileInVolume(std::span<const uint8_t> Volume, const VolumeFile& File,
                       uint64_t VolumeAlignment) {
  const ParsedFile& file = File.File;
  if (file.Deleted()) {
    return;
  }
  const uint32_t wanted = DataAlignment(file.Attributes);
  const std::string name = "file " + file.Name.ToString();
  if ((File.Offset + FileHeaderSize) % wanted != 0) {
    throw FormatError(name + " asks for " + std::to_string(wanted) +
                      "-byte alignment of its data, which lies at " +
                      tools::Hex(File.Offset + FileHeaderSize));
  }
  if (wanted > VolumeAlignment) {
    throw FormatError(name + " asks for " + std::to_string(wanted) +
                      "-byte alignment of its data; the volume is aligned to " +
                      std::to_string(VolumeAlignment));
  }
  if (file.Type == FileType::Pad &&
      !AllErased(Volume.subspan(File.Offset + FileHeaderSize, file.Size - FileHeaderSize))) {
    throw FormatError("pad file holds data that is not erased");
  }
}

} // namespace

std::vector<uint32_t> FileOffsets(std::span<const FileSpec> Files) {
  std::vector<uint32_t> offsets;
  uint64_t at = VolumeHeaderSize;
  for (const FileSpec& wanted : Files) {
    at = AlignUp(at, FileAlignment);
    offsets.push_back(static_cast<uint32_t>(at));
    at += FileHeaderSize + BuildSections(wanted.Sections).size();
  }
  return offsets;
}

std::vector<uint8_t> BuildVolume(std::span<const FileSpec> Files, const VolumeSpec& Wanted) {
  return Assemble(Files, Wanted);
}

std::vector<uint8_t> BuildVolumeInPlace(std::span<const FileSpec> Files, const VolumeSpec& Wanted,
                                        uint32_t Base) {
  CheckVolumeAddress(Base, Wanted.Size, Wanted.Attributes);
  // Rebasing changes no sizes, so the files lie where the unrebased ones would.
  const std::vector<uint32_t> offsets = FileOffsets(Files);
  std::vector<FileSpec> placed;
  for (size_t i = 0; i < Files.size(); ++i) {
    placed.push_back(PlaceFile(Files[i], Base + offsets[i]));
  }
  return Assemble(placed, Wanted);
}

FileSpec PlaceFile(const FileSpec& File, uint32_t Address) {
  FileSpec placed{File.Name, File.Type, {}};
  uint64_t at = FileHeaderSize;
  for (const Section& section : File.Sections) {
    at = FileHeaderSize + AlignUp(at - FileHeaderSize, SectionAlignment);
    CheckRunsInPlace(section);
    placed.Sections.push_back(
        RebaseSection(section, static_cast<uint32_t>(Address + at + SectionHeaderSize)));
    at += SectionHeaderSize + section.Data.size();
  }
  return placed;
}

uint64_t ClaimedAlignment(uint32_t Attributes) {
  if ((Attributes & VolumeWeakAlignment) != 0) {
    return 1;
  }
  return uint64_t{1} << ((Attributes & VolumeAlignmentMask) >> 16);
}

void CheckVolumeAddress(uint64_t Base, uint64_t Length, uint32_t Attributes) {
  constexpr uint64_t AddressSpaceEnd = uint64_t{1} << 32;
  if (Base >= AddressSpaceEnd || Length > AddressSpaceEnd - Base) {
    throw FormatError("a volume of " + tools::Hex(Length) + " bytes at " + tools::Hex(Base) +
                      " runs past 4 GiB");
  }
  const uint64_t alignment = ClaimedAlignment(Attributes);
  if (Base % alignment != 0) {
    throw FormatError("a volume at " + tools::Hex(Base) + " breaks the " +
                      std::to_string(alignment) + "-byte alignment its header claims");
  }
}

bool LooksLikeVolume(std::span<const uint8_t> Data) {
  return Data.size() >= SignatureAt + 4 && Get32(Data, SignatureAt) == VolumeSignature;
}

namespace {

// The fixed header, checked against its length, checksum, revision and file system.
ParsedVolume ReadVolumeHeader(std::span<const uint8_t> Data) {
  const Reader in(Data);
  ParsedVolume fv;
  in.Need(0, MinHeaderSize, "volume header");
  fv.FileSystem = Guid::FromBytes(in.Slice(FileSystemAt, 16, "volume header").first<16>());
  fv.Length = in.U64(LengthAt, "volume header");
  fv.Attributes = in.U32(AttributesAt, "volume header");
  fv.HeaderLength = in.U16(HeaderLengthAt, "volume header");
  fv.Checksum = in.U16(ChecksumAt, "volume header");
  fv.ExtHeaderOffset = in.U16(ExtHeaderOffsetAt, "volume header");
  fv.Revision = in.U8(RevisionAt, "volume header");
  if (fv.Length > Data.size()) {
    throw FormatError("truncated volume: its header says " + std::to_string(fv.Length) +
                      " bytes, there are " + std::to_string(Data.size()));
  }
  if (fv.HeaderLength < MinHeaderSize || fv.HeaderLength > fv.Length || fv.HeaderLength % 2 != 0) {
    throw FormatError("volume header length " + tools::Hex(fv.HeaderLength) +
                      " does not fit the volume");
  }
  if (Sum16(Data.first(fv.HeaderLength)) != 0) {
    throw FormatError("wrong volume header checksum " + tools::Hex(fv.Checksum));
  }
  if (fv.Revision != VolumeRevision) {
    throw FormatError("volume header revision " + std::to_string(fv.Revision) + ", not 2");
  }
  if (fv.FileSystem == FirmwareFileSystem3) {
    throw FormatError("an FFS3 volume; only FFS2 is read (FFS3 adds files of 16 MiB and more, "
                      "which no volume of a PEI module needs)");
  }
  if (fv.FileSystem != FirmwareFileSystem2) {
    throw FormatError("volume file system " + fv.FileSystem.ToString() + " is not FFS2");
  }
  if ((fv.Attributes & VolumeErasePolarity) == 0) {
    throw FormatError("volume of erase polarity 0; only erase polarity 1 is read");
  }
  return fv;
}

// The block map, which must end inside the header and cover the whole volume.
void ReadBlockMap(std::span<const uint8_t> Data, ParsedVolume& Fv) {
  const Reader in(Data);
  uint64_t mapped = 0;
  for (size_t at = BlockMapAt;; at += 8) {
    if (at + 8 > Fv.HeaderLength) {
      throw FormatError("volume block map has no terminating entry inside the header");
    }
    const BlockMapEntry entry{in.U32(at, "block map"), in.U32(at + 4, "block map")};
    if (entry.NumBlocks == 0 && entry.Length == 0) {
      break;
    }
    if (entry.NumBlocks == 0 || entry.Length == 0) {
      // A reader that stops at the first zero would take the map to end here.
      throw FormatError("volume block map entry " + std::to_string(Fv.BlockMap.size()) + " is " +
                        std::to_string(entry.NumBlocks) + " blocks of " + tools::Hex(entry.Length) +
                        " bytes");
    }
    mapped += uint64_t{entry.NumBlocks} * entry.Length;
    Fv.BlockMap.push_back(entry);
  }
  if (mapped != Fv.Length) {
    throw FormatError("volume block map covers " + std::to_string(mapped) + " bytes of " +
                      std::to_string(Fv.Length));
  }
}

// The files from At on, each at its alignment with nothing but erased bytes between them, then
// free space that is erased throughout.
void ReadFiles(std::span<const uint8_t> Volume, uint64_t At, ParsedVolume& Fv) {
  const uint64_t volumeAlignment = ClaimedAlignment(Fv.Attributes);
  for (;;) {
    const uint64_t next = std::min<uint64_t>(AlignUp(At, FileAlignment), Fv.Length);
    if (!AllErased(Volume.subspan(At, next - At))) {
      throw FormatError("non-erased bytes between files at " + tools::Hex(At));
    }
    At = next;
    const uint64_t left = Fv.Length - At;
    if (left < FileHeaderSize || AllErased(Volume.subspan(At, FileHeaderSize))) {
      break;
    }
    try {
      Fv.Files.push_back({static_cast<uint32_t>(At), ParseVolumeFile(Volume.subspan(At))});
      CheckFileInVolume(Volume, Fv.Files.back(), volumeAlignment);
    } catch (const FormatError& error) {
      throw FormatError("volume offset " + tools::Hex(At) + ": " + error.what());
    }
    At += Fv.Files.back().File.Size;
  }
  Fv.FreeSpaceOffset = At;
  for (uint64_t byte = At; byte < Fv.Length; ++byte) {
    if (Volume[byte] != ErasedByte) {
      throw FormatError("volume free space from " + tools::Hex(At) + " holds data at " +
                        tools::Hex(byte));
    }
  }
}

} // namespace

ParsedVolume ParseVolume(std::span<const uint8_t> Data) {
  if (!LooksLikeVolume(Data)) {
    throw FormatError("not a firmware volume: no _FVH signature");
  }
  ParsedVolume fv = ReadVolumeHeader(Data);
  ReadBlockMap(Data, fv);
  const auto volume = Data.first(fv.Length);
  ReadFiles(volume, fv.ExtHeaderOffset != 0 ? ReadExtendedHeader(volume, fv) : fv.HeaderLength, fv);
  return fv;
}

} // namespace package

// Firmware volumes (EFI_FIRMWARE_VOLUME_HEADER) holding an FFS2 file system: the header with its
// block map and checksum, the files 8-byte aligned one after another, and free space to the end.
//
// Volumes written here have erase polarity 1 (flash erases to ones), so the bytes between files
// and the free space are 0xFF; they are memory mapped, readable, not writable, and ask for 8-byte
// alignment, that of their files.
#pragma once

#include "package/Ffs.h"
#include "package/Guid.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace package {

constexpr uint32_t VolumeSignature = 0x4856465F; // "_FVH"
constexpr uint8_t VolumeRevision = 2;
constexpr uint8_t ErasedByte = 0xFF;

// EFI_FVB2_ attributes of the volumes written here.
constexpr uint32_t VolumeReadEnabledCap = 0x00000002;
constexpr uint32_t VolumeReadStatus = 0x00000004;
constexpr uint32_t VolumeStickyWrite = 0x00000200;
constexpr uint32_t VolumeMemoryMapped = 0x00000400;
constexpr uint32_t VolumeErasePolarity = 0x00000800;
constexpr uint32_t VolumeAlignment8 = 0x00030000;
constexpr uint32_t VolumeAlignmentMask = 0x001F0000; // log2 of the alignment
constexpr uint32_t VolumeWeakAlignment = 0x80000000;
constexpr uint32_t DefaultVolumeAttributes = VolumeReadEnabledCap | VolumeReadStatus |
                                             VolumeStickyWrite | VolumeMemoryMapped |
                                             VolumeErasePolarity | VolumeAlignment8;

struct VolumeSpec {
  uint64_t Size = 0;         // a whole number of blocks
  uint32_t BlockSize = 4096; // the flash's erase block
  uint32_t Attributes = DefaultVolumeAttributes;
};

struct BlockMapEntry {
  uint32_t NumBlocks = 0;
  uint32_t Length = 0;
};

// The header length of the volumes written here: the fixed part, one block-map entry and the
// terminating entry.
constexpr uint32_t VolumeHeaderSize = 56 + 2 * 8;

// Offset in the volume of each file, in order, as BuildVolume lays them out.
std::vector<uint32_t> FileOffsets(std::span<const FileSpec> Files);

// The files in order, then free space. Throws FormatError when they do not fit.
std::vector<uint8_t> BuildVolume(std::span<const FileSpec> Files, const VolumeSpec& Wanted);

// The same with every PE32 or TE image in the files rebased to run in place, where it lies when
// the volume's first byte is at Base.
std::vector<uint8_t> BuildVolumeInPlace(std::span<const FileSpec> Files, const VolumeSpec& Wanted,
                                        uint32_t Base);

// File with each PE32 or TE image rebased to run where it lies when the file's header is at
// Address. Refuses an image that cannot run in place (CheckRunsInPlace).
FileSpec PlaceFile(const FileSpec& File, uint32_t Address);

struct VolumeFile {
  uint32_t Offset = 0; // of the file's header in the volume
  ParsedFile File;
};

struct ParsedVolume {
  Guid FileSystem;
  uint64_t Length = 0;
  uint32_t Attributes = 0;
  uint16_t HeaderLength = 0;
  uint16_t Checksum = 0;
  uint16_t ExtHeaderOffset = 0;
  uint8_t Revision = 0;
  std::optional<Guid> Name; // from the extended header, where there is one
  std::vector<BlockMapEntry> BlockMap;
  std::vector<VolumeFile> Files;
  uint64_t FreeSpaceOffset = 0; // where the erased bytes to the end begin
};

// The volume at the start of Data, FvLength bytes of it, read as a PEI core reads it: the files
// start after the extended header where there is one, and a file marked deleted is stepped over.
// Refuses a volume that runs past Data, a wrong signature, header checksum or revision, a file
// system other than FFS2 (FFS3 included), a block map with an empty entry or that does not add up
// to the length, a bad file, a file's data off the alignment its attributes ask for (or one the
// volume's cannot give), a pad file that holds data, and anything but erased bytes in the free
// space. Deleted files are listed with their state and no sections.
ParsedVolume ParseVolume(std::span<const uint8_t> Data);

// The alignment a volume's attributes claim for its first byte (EFI_FVB2_ALIGNMENT), 1 where
// they say it is only advisory (EFI_FVB2_WEAK_ALIGNMENT).
uint64_t ClaimedAlignment(uint32_t Attributes);

// Refuses a volume of Length bytes placed at Base that would run past 4 GiB or break the
// alignment its Attributes claim.
void CheckVolumeAddress(uint64_t Base, uint64_t Length, uint32_t Attributes);

// The volume's signature is where the header has it: enough to tell a volume from other forms.
bool LooksLikeVolume(std::span<const uint8_t> Data);

} // namespace package

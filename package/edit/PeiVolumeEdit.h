// Adding a PEI module to the flash image of EDK2 firmware that keeps its PEI volume compressed:
// the main volume (at the start of the image) holds a file of type FV_IMAGE whose GUID-defined
// section, LZMA-compressed, holds the PEI volume as its first volume section. SEC decompresses
// that volume into RAM at a fixed address and the PEI core dispatches from there, so the PEIMs in
// it are linked at their place in it.
//
// The module goes into the PEI volume's free space, so every other file keeps its place and its
// link address. The edited section is compressed again; the outer file grows or shrinks into the
// free space or pad file after it, and every size and checksum on the way is written again.
#pragma once

#include "package/Guid.h"
#include "package/Section.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

// The flash parts this edits are a few MiB; a larger input is taken for a wrong file.
constexpr uint64_t MaxFlashSize = 64u << 20;

// The GUID-defined section of LZMA-compressed data (EDK2's LzmaCustomDecompress).
extern const Guid LzmaCompressedSectionGuid;
// The PEI apriori file: the PEIMs the core dispatches first, in order.
extern const Guid PeiAprioriFileGuid;

enum class Dispatch {
  // A TRUE dependency and an entry at the end of the apriori file: dispatched before permanent
  // memory, run in place, so the image is rebased to where it lies in the volume.
  BeforeMemory,
  // A dependency on the permanent-memory PPI: the PEI core loads and relocates the image itself.
  AfterMemory,
};

struct PeimPlacement {
  std::vector<uint8_t> Flash;    // the whole edited image, as long as the input
  uint32_t FileOffset = 0;       // of the module's file in the PEI volume
  uint32_t FileAddress = 0;      // where that file lies once SEC has copied the volume
  SectionType CodeType{};        // Pe32 or Te
  uint32_t ImageAddress = 0;     // of RVA 0, before memory (the image runs there)
  uint32_t EntryRva = 0;         // AddressOfEntryPoint
  uint32_t ImageSize = 0;        // from RVA 0 to the end of the last section
  uint32_t HeaderRva = 0;        // of the TE header (StrippedSize - 40); 0 for a PE32
  std::vector<int> EntryPattern; // bytes from the entry, -1 where a fixup may change them
  uint32_t CompressedSizeBefore = 0;
  uint32_t CompressedSizeAfter = 0;
};

// The PEI volume as SEC copies it out of Flash. Throws FormatError for an image not laid out as
// above.
std::vector<uint8_t> ReadPeiVolume(std::span<const uint8_t> Flash);

// PeimFile is an FFS file of type PEIM carrying a PEI dependency section and a PE32 or TE
// section whose image the image runner would run (LoadedImage.h); its dependency is replaced by
// the one When asks for. PeiVolumeAddress is where SEC copies the PEI volume: below 4 GiB and
// aligned as the volume's header claims. Throws FormatError (one line) for an image not laid out
// as above, a module already present, or no room.
PeimPlacement PlacePeim(std::span<const uint8_t> Flash, std::span<const uint8_t> PeimFile,
                        Dispatch When, uint32_t PeiVolumeAddress);

} // namespace package

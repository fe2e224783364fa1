// Terse Executable images (EFI_TE_IMAGE_HEADER, 40 bytes): a PE32 whose DOS header, PE
// signature, file header and optional header are replaced by the TE header, the rest of the file
// kept as it was. StrippedSize says how many bytes were removed, so that every RVA still holds:
// the TE header sits at RVA StrippedSize - 40, and file offset x of the PE32 is x - (StrippedSize
// - 40) in the TE image. ImageBase is the address of RVA 0.
#pragma once

#include "package/ImageHeaders.h"

#include <cstdint>
#include <span>
#include <vector>

namespace package {

constexpr size_t TeHeaderSize = 40;
constexpr uint16_t TeSignature = 0x5A56; // "VZ"

struct TeImage {
  uint16_t Machine = 0;
  uint8_t Subsystem = 0;
  uint16_t StrippedSize = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t BaseOfCode = 0;
  uint64_t ImageBase = 0;
  ImageDirectory BaseRelocation;
  ImageDirectory Debug;
  std::vector<ImageSection> Sections;
  std::vector<uint32_t> Fixups; // RVAs of the 32-bit absolute fixups

  // Bytes of the PE32 before the TE image's first byte: what shifts file offsets.
  uint32_t StrippedBytes() const { return StrippedSize - static_cast<uint32_t>(TeHeaderSize); }
  // The PE32's headers end where the TE section table ends; the image, where its last section
  // does. A TE header keeps no SizeOfImage.
  uint32_t HeadersEnd() const;
  uint64_t ImageSize() const;
};

// The TE form of a PE32 image; refuses an image whose headers do not fit a TE header (more than
// 255 sections, headers over 64 KiB, an image base above 4 GiB).
std::vector<uint8_t> ConvertPeToTe(std::span<const uint8_t> Pe);

// Reads a TE image. Refuses a StrippedSize that does not fit the file (one smaller than the TE
// header, or one that puts a section's data inside the headers) and a file cut short.
TeImage ParseTe(std::span<const uint8_t> File);

} // namespace package

// Small hand-made PE32 images for the runner's tests: one .text section with the bytes a test
// gives (code and data), an optional .reloc section, and offsets of the header fields that the
// bad-image tests damage.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport {

// Header layout of every built image.
constexpr uint32_t PeHeaderAt = 0x40;
constexpr uint32_t MachineAt = PeHeaderAt + 4;
constexpr uint32_t CharacteristicsAt = PeHeaderAt + 4 + 18;
constexpr uint32_t OptionalHeaderAt = PeHeaderAt + 4 + 20;
constexpr uint32_t MagicAt = OptionalHeaderAt;
constexpr uint32_t SizeOfImageAt = OptionalHeaderAt + 56;
constexpr uint32_t ImportDirectoryAt = OptionalHeaderAt + 96 + 8 * 1;
constexpr uint32_t OptionalHeaderSize = 96 + 8 * 16;
constexpr uint32_t SectionTableAt = OptionalHeaderAt + OptionalHeaderSize;
constexpr uint32_t HeadersSize = 0x200;
constexpr uint32_t TextRva = HeadersSize; // RVA == file offset, as in the module's image
constexpr uint32_t FirstSectionRawSizeAt = SectionTableAt + 16;

struct RelocationBlock {
  uint32_t PageRva;
  std::vector<uint16_t> Entries; // type << 12 | offset in page
};

constexpr uint16_t HighLow(uint32_t OffsetInPage) {
  return static_cast<uint16_t>(0x3000 | OffsetInPage);
}

struct TestImage {
  std::vector<uint8_t> Text;
  uint32_t EntryOffset = 0; // within Text
  uint32_t ImageBase = 0;
  // A block of padding alone by default: nothing to move, but the directory a loader needs before
  // it moves an image at all.
  std::vector<RelocationBlock> Relocations = {{0, {0x0000, 0x0000}}};

  // The absolute address of Text[Offset] as linked, before any relocation.
  uint32_t LinkedAddress(uint32_t Offset) const { return ImageBase + TextRva + Offset; }

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> reloc;
    for (const RelocationBlock& block : Relocations) {
      Put32(reloc, reloc.size(), block.PageRva);
      Put32(reloc, reloc.size(), static_cast<uint32_t>(8 + 2 * block.Entries.size()));
      for (uint16_t entry : block.Entries) {
        reloc.push_back(static_cast<uint8_t>(entry));
        reloc.push_back(static_cast<uint8_t>(entry >> 8));
      }
    }
    const uint32_t textSize = Align(static_cast<uint32_t>(Text.size()));
    const uint32_t relocRva = TextRva + textSize;
    const uint32_t relocSize = Align(static_cast<uint32_t>(reloc.size()));
    const uint16_t sections = reloc.empty() ? 1 : 2;

    std::vector<uint8_t> file(HeadersSize, 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, PeHeaderAt);
    file[PeHeaderAt] = 'P';
    file[PeHeaderAt + 1] = 'E';
    Put16(file, MachineAt, 0x14C);
    Put16(file, MachineAt + 2, sections);
    Put16(file, MachineAt + 16, OptionalHeaderSize);
    Put16(file, CharacteristicsAt, 0x0102); // executable, 32-bit
    const uint32_t o = OptionalHeaderAt;
    Put16(file, o, 0x10B);
    Put32(file, o + 16, TextRva + EntryOffset);
    Put32(file, o + 28, ImageBase);
    Put32(file, o + 32, 32);
    Put32(file, o + 36, 32);
    Put32(file, o + 56, relocRva + relocSize);
    Put32(file, o + 60, HeadersSize);
    Put16(file, o + 68, 11);
    Put32(file, o + 92, 16);
    if (!reloc.empty()) {
      Put32(file, o + 96 + 8 * 5, relocRva);
      Put32(file, o + 96 + 8 * 5 + 4, static_cast<uint32_t>(reloc.size()));
    }
    Section(file, 0, ".text", TextRva, static_cast<uint32_t>(Text.size()), textSize, 0x60000020);
    if (!reloc.empty()) {
      Section(file, 1, ".reloc", relocRva, static_cast<uint32_t>(reloc.size()), relocSize,
              0x42000040);
    }
    file.insert(file.end(), Text.begin(), Text.end());
    file.resize(relocRva, 0xCC);
    file.insert(file.end(), reloc.begin(), reloc.end());
    file.resize(relocRva + relocSize, 0);
    return file;
  }

  static void Put16(std::vector<uint8_t>& B, size_t At, uint16_t V) {
    B.resize(std::max(B.size(), At + 2));
    B[At] = static_cast<uint8_t>(V);
    B[At + 1] = static_cast<uint8_t>(V >> 8);
  }
  static void Put32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    Put16(B, At, static_cast<uint16_t>(V));
    Put16(B, At + 2, static_cast<uint16_t>(V >> 16));
  }

private:
  static uint32_t Align(uint32_t Size) { return (Size + 31) & ~31u; }
  static void Section(std::vector<uint8_t>& B, uint32_t Index, const char* Name, uint32_t Rva,
                      uint32_t VirtualSize, uint32_t RawSize, uint32_t Flags) {
    const uint32_t at = SectionTableAt + 40 * Index;
    for (uint32_t c = 0; Name[c] != '\0'; ++c) {
      B[at + c] = static_cast<uint8_t>(Name[c]);
    }
    Put32(B, at + 8, VirtualSize);
    Put32(B, at + 12, Rva);
    Put32(B, at + 16, RawSize);
    Put32(B, at + 20, Rva);
    Put32(B, at + 36, Flags);
  }
};

} // namespace testsupport

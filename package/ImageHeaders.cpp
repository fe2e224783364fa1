#include "package/ImageHeaders.h"

#include "common/Format.h"
#include "package/Bytes.h"

#include <algorithm>

namespace package {

namespace {

constexpr size_t DosHeaderSize = 64;
constexpr size_t DosNewHeaderOffset = 0x3C;
constexpr size_t FileHeaderSize = 20;
constexpr size_t OptionalHeaderFixedSize = 96; // PE32, up to NumberOfRvaAndSizes
constexpr uint32_t DirectoryImport = 1;
constexpr uint32_t DirectoryBaseRelocation = 5;
constexpr uint32_t DirectoryDebug = 6;
constexpr uint32_t DirectoryDelayImport = 13;

constexpr uint16_t RelocationAbsolute = 0;
constexpr uint16_t RelocationHighLow = 3;
constexpr uint32_t RelocationBlockHeader = 8;

} // namespace

PeHeaders ReadPeHeaders(std::span<const uint8_t> File) {
  const Reader in(File);
  if (File.size() < DosHeaderSize || File[0] != 'M' || File[1] != 'Z') {
    throw FormatError("not a PE image: no DOS header with the MZ signature");
  }
  const uint32_t peAt = in.U32(DosNewHeaderOffset, "DOS header");
  const auto signature = in.Slice(peAt, 4 + FileHeaderSize, "PE signature and file header");
  if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) {
    throw FormatError("not a PE image: no PE signature at " + tools::Hex(peAt));
  }
  PeHeaders pe;
  const uint64_t fileHeader = peAt + 4;
  pe.Machine = in.U16(fileHeader, "file header");
  const uint16_t sections = in.U16(fileHeader + 2, "file header");
  pe.TimeDateStamp = in.U32(fileHeader + 4, "file header");
  const uint16_t optionalSize = in.U16(fileHeader + 16, "file header");
  pe.Characteristics = in.U16(fileHeader + 18, "file header");
  const uint64_t optional = fileHeader + FileHeaderSize;
  pe.Magic = in.U16(optional, "optional header");
  if (pe.Magic == MagicPe32Plus) {
    throw FormatError("a PE32+ image (magic 0x20B); the module is a PE32 image (magic 0x10B)");
  }
  if (pe.Magic != MagicPe32) {
    throw FormatError("not a PE32 image: optional header magic " + tools::Hex(pe.Magic));
  }
  if (optionalSize < OptionalHeaderFixedSize) {
    throw FormatError("optional header of " + std::to_string(optionalSize) +
                      " bytes; PE32 needs at least 96");
  }
  in.Need(optional, optionalSize, "optional header");
  pe.AddressOfEntryPoint = in.U32(optional + 16, "optional header");
  pe.BaseOfCode = in.U32(optional + 20, "optional header");
  pe.ImageBaseOffset = static_cast<uint32_t>(optional + 28);
  pe.ImageBase = in.U32(optional + 28, "optional header");
  pe.SectionAlignment = in.U32(optional + 32, "optional header");
  pe.FileAlignment = in.U32(optional + 36, "optional header");
  pe.SizeOfImage = in.U32(optional + 56, "optional header");
  pe.SizeOfHeaders = in.U32(optional + 60, "optional header");
  pe.Subsystem = in.U16(optional + 68, "optional header");
  const uint32_t directories = std::min<uint32_t>(in.U32(optional + 92, "optional header"),
                                                  (optionalSize - OptionalHeaderFixedSize) / 8);
  const auto directory = [&](uint32_t Index) {
    const uint64_t at = optional + OptionalHeaderFixedSize + 8 * Index;
    return Index < directories
               ? ImageDirectory{in.U32(at, "data directory"), in.U32(at + 4, "data directory")}
               : ImageDirectory{};
  };
  pe.Import = directory(DirectoryImport);
  pe.BaseRelocation = directory(DirectoryBaseRelocation);
  pe.Debug = directory(DirectoryDebug);
  pe.DelayImport = directory(DirectoryDelayImport);
  pe.SectionTableOffset = static_cast<uint32_t>(optional + optionalSize);
  pe.Sections = ReadSectionTable(File, pe.SectionTableOffset, sections);
  return pe;
}

std::vector<ImageSection> ReadSectionTable(std::span<const uint8_t> File, uint64_t Offset,
                                           uint32_t Count) {
  const Reader in(File);
  in.Need(Offset, uint64_t{Count} * SectionHeaderBytes, "section table");
  std::vector<ImageSection> sections;
  for (uint32_t i = 0; i < Count; ++i) {
    const uint64_t at = Offset + uint64_t{SectionHeaderBytes} * i;
    ImageSection section;
    for (size_t c = 0; c < 8 && File[at + c] != 0; ++c) {
      section.Name += static_cast<char>(File[at + c]);
    }
    section.VirtualSize = in.U32(at + 8, "section header");
    section.VirtualAddress = in.U32(at + 12, "section header");
    section.SizeOfRawData = in.U32(at + 16, "section header");
    section.PointerToRawData = in.U32(at + 20, "section header");
    section.Characteristics = in.U32(at + 36, "section header");
    sections.push_back(section);
  }
  return sections;
}

uint32_t FileOffsetOfRva(std::span<const ImageSection> Sections, uint32_t Rva, uint32_t Size,
                         uint32_t StrippedBytes, uint64_t FileSize) {
  for (const ImageSection& section : Sections) {
    if (Rva < section.VirtualAddress ||
        uint64_t{Rva} + Size > uint64_t{section.VirtualAddress} + section.SizeOfRawData) {
      continue;
    }
    const uint64_t at = uint64_t{section.PointerToRawData} + (Rva - section.VirtualAddress);
    if (at < StrippedBytes || at - StrippedBytes + Size > FileSize) {
      throw FormatError("RVA " + tools::Hex(Rva) + "+" + tools::Hex(Size) + " in section " +
                        section.Name + " lies outside the file");
    }
    return static_cast<uint32_t>(at - StrippedBytes);
  }
  throw FormatError("RVA " + tools::Hex(Rva) + "+" + tools::Hex(Size) +
                    " lies in no section's file data");
}

std::vector<uint32_t> ReadFixups(std::span<const uint8_t> File,
                                 std::span<const ImageSection> Sections, ImageDirectory Directory,
                                 uint32_t StrippedBytes, uint64_t ImageSize) {
  std::vector<uint32_t> fixups;
  if (Directory.Size == 0) {
    return fixups;
  }
  const uint32_t tableAt =
      FileOffsetOfRva(Sections, Directory.Rva, Directory.Size, StrippedBytes, File.size());
  const Reader table(File.subspan(tableAt, Directory.Size));
  for (uint32_t block = 0; block < Directory.Size;) {
    const uint32_t page = table.U32(block, "relocation block header");
    const uint32_t size = table.U32(block + 4, "relocation block header");
    if (size < RelocationBlockHeader || size % 2 != 0) {
      throw FormatError("relocation block at RVA " + tools::Hex(uint64_t{Directory.Rva} + block) +
                        " has size " + tools::Hex(size));
    }
    table.Need(block, size, "relocation block");
    for (uint32_t at = block + RelocationBlockHeader; at < block + size; at += 2) {
      const uint16_t entry = table.U16(at, "relocation entry");
      const uint16_t type = entry >> 12;
      const uint64_t target = uint64_t{page} + (entry & 0xFFF);
      if (type == RelocationAbsolute) {
        continue; // padding to keep blocks 32-bit aligned
      }
      if (type != RelocationHighLow) {
        throw FormatError("relocation type " + std::to_string(type) + " at RVA " +
                          tools::Hex(target) + "; only 32-bit absolute ones are expected");
      }
      if (target + 4 > ImageSize) {
        throw FormatError("relocation at RVA " + tools::Hex(target) +
                          " points outside the image (" + tools::Hex(ImageSize) + " bytes)");
      }
      fixups.push_back(static_cast<uint32_t>(target));
    }
    block += size;
  }
  return fixups;
}

void ApplyFixups(std::span<uint8_t> File, std::span<const ImageSection> Sections,
                 std::span<const uint32_t> Fixups, uint32_t StrippedBytes, uint32_t Delta) {
  for (uint32_t rva : Fixups) {
    const uint32_t at = FileOffsetOfRva(Sections, rva, 4, StrippedBytes, File.size());
    Put32(File, at, Get32(File, at) + Delta);
  }
}

} // namespace package

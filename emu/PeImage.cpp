#include "emu/PeImage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace emu {

namespace {

// PE/COFF header layout (offsets within each header).
constexpr size_t DosHeaderSize = 64;
constexpr size_t DosNewHeaderOffset = 0x3C;
constexpr size_t FileHeaderSize = 20;
constexpr size_t OptionalHeaderFixedSize = 96; // PE32, up to NumberOfRvaAndSizes
constexpr size_t SectionHeaderSize = 40;
constexpr uint32_t DirectoryImport = 1;
constexpr uint32_t DirectoryBaseRelocation = 5;
constexpr uint32_t DirectoryDelayImport = 13;
constexpr uint16_t FileRelocsStripped = 0x0001;

constexpr uint16_t RelocationAbsolute = 0;
constexpr uint16_t RelocationHighLow = 3;
constexpr size_t RelocationBlockHeader = 8;

std::string Hex(uint64_t Value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(Value));
  return text;
}

// Little-endian reads that refuse to leave the buffer; What names the structure for the error.
class Bytes {
public:
  Bytes(std::span<const uint8_t> Data, const char* Problem) : data_(Data), problem_(Problem) {}

  void Need(uint64_t Offset, uint64_t Size, const std::string& What) const {
    if (Offset > data_.size() || Size > data_.size() - Offset) {
      throw ImageError(std::string(problem_) + ": " + What + " (" + Hex(Offset) + "+" + Hex(Size) +
                       ") runs past the end (" + std::to_string(data_.size()) + " bytes)");
    }
  }
  uint8_t U8(uint64_t Offset, const std::string& What) const {
    Need(Offset, 1, What);
    return data_[Offset];
  }
  uint16_t U16(uint64_t Offset, const std::string& What) const {
    Need(Offset, 2, What);
    return static_cast<uint16_t>(data_[Offset] | data_[Offset + 1] << 8);
  }
  uint32_t U32(uint64_t Offset, const std::string& What) const {
    Need(Offset, 4, What);
    return static_cast<uint32_t>(data_[Offset]) | static_cast<uint32_t>(data_[Offset + 1]) << 8 |
           static_cast<uint32_t>(data_[Offset + 2]) << 16 |
           static_cast<uint32_t>(data_[Offset + 3]) << 24;
  }

private:
  std::span<const uint8_t> data_;
  const char* problem_;
};

PeDirectory ReadDirectory(const Bytes& File, size_t DirectoriesAt, uint32_t Count, uint32_t Index) {
  if (Index >= Count) {
    return {};
  }
  const size_t at = DirectoriesAt + 8 * Index;
  return {File.U32(at, "data directory"), File.U32(at + 4, "data directory")};
}

void ReadSections(const Bytes& File, size_t TableAt, uint16_t Count, PeImage& Image) {
  for (uint16_t i = 0; i < Count; ++i) {
    const size_t at = TableAt + SectionHeaderSize * i;
    File.Need(at, SectionHeaderSize, "section table");
    PeSection section;
    for (size_t c = 0; c < 8; ++c) {
      const auto ch = static_cast<char>(File.U8(at + c, "section name"));
      if (ch == '\0') {
        break;
      }
      section.Name += ch;
    }
    section.VirtualSize = File.U32(at + 8, "section header");
    section.VirtualAddress = File.U32(at + 12, "section header");
    section.SizeOfRawData = File.U32(at + 16, "section header");
    section.PointerToRawData = File.U32(at + 20, "section header");
    section.Characteristics = File.U32(at + 36, "section header");
    Image.Sections.push_back(section);
  }
}

void LayOut(std::span<const uint8_t> File, PeImage& Image) {
  Image.Memory.assign(Image.SizeOfImage, 0);
  std::copy_n(File.begin(), Image.SizeOfHeaders, Image.Memory.begin());
  const Bytes file(File, "truncated image");
  for (const PeSection& section : Image.Sections) {
    const std::string name = "section " + section.Name;
    if (section.SizeOfRawData != 0) {
      file.Need(section.PointerToRawData, section.SizeOfRawData, "raw data of " + name);
    }
    // A section's memory is VirtualSize long; the file holds its first SizeOfRawData bytes.
    const uint32_t inMemory =
        section.VirtualSize != 0 ? section.VirtualSize : section.SizeOfRawData;
    if (uint64_t{section.VirtualAddress} + inMemory > Image.SizeOfImage) {
      throw ImageError(name + " at RVA " + Hex(section.VirtualAddress) + "+" + Hex(inMemory) +
                       " lies outside the image (" + Hex(Image.SizeOfImage) + " bytes)");
    }
    const uint32_t copied = std::min(inMemory, section.SizeOfRawData);
    std::copy_n(File.begin() + section.PointerToRawData, copied,
                Image.Memory.begin() + section.VirtualAddress);
  }
}

void ReadFixups(PeImage& Image) {
  const PeDirectory directory = Image.BaseRelocationTable;
  if (directory.Size == 0) {
    return;
  }
  if (uint64_t{directory.Rva} + directory.Size > Image.SizeOfImage) {
    throw ImageError("relocation directory at RVA " + Hex(directory.Rva) + "+" +
                     Hex(directory.Size) + " lies outside the image");
  }
  const Bytes memory(std::span(Image.Memory).subspan(directory.Rva, directory.Size),
                     "malformed relocations");
  for (uint32_t block = 0; block < directory.Size;) {
    const uint32_t page = memory.U32(block, "relocation block header");
    const uint32_t size = memory.U32(block + 4, "relocation block header");
    if (size < RelocationBlockHeader || size % 2 != 0) {
      throw ImageError("malformed relocations: block at RVA " + Hex(directory.Rva + block) +
                       " has size " + Hex(size));
    }
    memory.Need(block, size, "relocation block");
    for (uint32_t at = block + RelocationBlockHeader; at < block + size; at += 2) {
      const uint16_t entry = memory.U16(at, "relocation entry");
      const uint16_t type = entry >> 12;
      const uint64_t target = uint64_t{page} + (entry & 0xFFF);
      if (type == RelocationAbsolute) {
        continue; // padding to keep blocks 32-bit aligned
      }
      if (type != RelocationHighLow) {
        throw ImageError("unsupported relocation type " + std::to_string(type) + " at RVA " +
                         Hex(target) + " (only 32-bit absolute relocations are expected)");
      }
      if (target + 4 > Image.SizeOfImage) {
        throw ImageError("relocation at RVA " + Hex(target) + " points outside the image (" +
                         Hex(Image.SizeOfImage) + " bytes)");
      }
      Image.Fixups.push_back(static_cast<uint32_t>(target));
    }
    block += size;
  }
}

} // namespace

PeImage ParsePe(std::span<const uint8_t> Data) {
  const Bytes file(Data, "truncated headers");
  if (Data.size() < DosHeaderSize || Data[0] != 'M' || Data[1] != 'Z') {
    throw ImageError("not a PE image: no DOS header with the MZ signature");
  }
  const uint32_t peAt = file.U32(DosNewHeaderOffset, "DOS header");
  file.Need(peAt, 4 + FileHeaderSize, "PE signature and file header");
  if (Data[peAt] != 'P' || Data[peAt + 1] != 'E' || Data[peAt + 2] != 0 || Data[peAt + 3] != 0) {
    throw ImageError("not a PE image: no PE signature at " + Hex(peAt));
  }

  PeImage image;
  const size_t fileHeader = peAt + 4;
  image.Machine = file.U16(fileHeader, "file header");
  const uint16_t sectionCount = file.U16(fileHeader + 2, "file header");
  image.TimeDateStamp = file.U32(fileHeader + 4, "file header");
  const uint16_t optionalSize = file.U16(fileHeader + 16, "file header");
  image.Characteristics = file.U16(fileHeader + 18, "file header");
  if (image.Machine != MachineI386) {
    throw ImageError("machine " + Hex(image.Machine) + " is not i386 (0x14C)");
  }

  const size_t optional = fileHeader + FileHeaderSize;
  image.Magic = file.U16(optional, "optional header");
  if (image.Magic == MagicPe32Plus) {
    throw ImageError("a PE32+ image (magic 0x20B); the module is a PE32 image (magic 0x10B)");
  }
  if (image.Magic != MagicPe32) {
    throw ImageError("not a PE32 image: optional header magic " + Hex(image.Magic));
  }
  if (optionalSize < OptionalHeaderFixedSize) {
    throw ImageError("truncated headers: optional header of " + std::to_string(optionalSize) +
                     " bytes, PE32 needs at least 96");
  }
  file.Need(optional, optionalSize, "optional header");
  image.AddressOfEntryPoint = file.U32(optional + 16, "optional header");
  image.ImageBase = file.U32(optional + 28, "optional header");
  image.SectionAlignment = file.U32(optional + 32, "optional header");
  image.FileAlignment = file.U32(optional + 36, "optional header");
  image.SizeOfImage = file.U32(optional + 56, "optional header");
  image.SizeOfHeaders = file.U32(optional + 60, "optional header");
  image.Subsystem = file.U16(optional + 68, "optional header");
  const uint32_t directoryCount = std::min<uint32_t>(file.U32(optional + 92, "optional header"),
                                                     (optionalSize - OptionalHeaderFixedSize) / 8);
  const size_t directories = optional + OptionalHeaderFixedSize;
  image.ImportTable = ReadDirectory(file, directories, directoryCount, DirectoryImport);
  image.BaseRelocationTable =
      ReadDirectory(file, directories, directoryCount, DirectoryBaseRelocation);
  const PeDirectory delayImports =
      ReadDirectory(file, directories, directoryCount, DirectoryDelayImport);

  if (image.SizeOfImage > MaxImageSize) {
    throw ImageError("image size " + Hex(image.SizeOfImage) + " is larger than the " +
                     Hex(MaxImageSize) + " bytes the runner maps");
  }
  file.Need(0, image.SizeOfHeaders, "headers (SizeOfHeaders)");
  if (image.SizeOfHeaders > image.SizeOfImage) {
    throw ImageError("headers (" + Hex(image.SizeOfHeaders) + " bytes) are larger than the image");
  }
  ReadSections(file, optional + optionalSize, sectionCount, image);

  if (image.ImportTable.Rva != 0 || image.ImportTable.Size != 0 || delayImports.Rva != 0) {
    throw ImageError("the image imports (import table at RVA " + Hex(image.ImportTable.Rva) +
                     "); the module must import nothing");
  }
  if (image.AddressOfEntryPoint == 0 || image.AddressOfEntryPoint >= image.SizeOfImage) {
    throw ImageError("entry point " + Hex(image.AddressOfEntryPoint) + " lies outside the image");
  }
  if ((image.Characteristics & FileRelocsStripped) != 0) {
    throw ImageError("relocations stripped: the image can only run at its ImageBase");
  }
  LayOut(Data, image);
  ReadFixups(image);
  return image;
}

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(Path, error)) {
    throw ImageError(error ? "cannot read the file: " + error.message() : "not a regular file");
  }
  std::ifstream in(Path, std::ios::binary);
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    in.setstate(std::ios::badbit);
  }
  if (!in && !in.eof()) {
    throw ImageError("cannot read the file");
  }
  return bytes;
}

PeImage ReadPeFile(const std::string& Path) {
  return ParsePe(ReadFileBytes(Path));
}

std::vector<uint8_t> RelocatedMemory(const PeImage& Image, uint32_t Base) {
  std::vector<uint8_t> memory = Image.Memory;
  const uint32_t delta = Base - Image.ImageBase;
  for (uint32_t at : Image.Fixups) {
    uint32_t value = 0;
    for (int byte = 0; byte < 4; ++byte) {
      value |= static_cast<uint32_t>(memory[at + byte]) << (8 * byte);
    }
    value += delta;
    for (int byte = 0; byte < 4; ++byte) {
      memory[at + byte] = static_cast<uint8_t>(value >> (8 * byte));
    }
  }
  return memory;
}

} // namespace emu

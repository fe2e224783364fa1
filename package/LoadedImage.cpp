#include "package/LoadedImage.h"

#include "common/Format.h"
#include "package/Bytes.h"
#include "package/Te.h"

#include <algorithm>

namespace package {

namespace {

void CheckMachine(uint16_t Machine) {
  if (Machine != MachineI386) {
    throw FormatError("machine " + tools::Hex(Machine) + " is not i386 (0x14C)");
  }
}

void CheckSize(uint64_t Size) {
  if (Size > MaxImageSize) {
    throw FormatError("image size " + tools::Hex(Size) + " is larger than the " +
                      tools::Hex(MaxImageSize) + " bytes a module may take");
  }
}

void CheckEntry(const LoadedImage& Image) {
  if (Image.AddressOfEntryPoint == 0 || Image.AddressOfEntryPoint >= Image.SizeOfImage) {
    throw FormatError("entry point " + tools::Hex(Image.AddressOfEntryPoint) +
                      " lies outside the image");
  }
}

// Each section's memory inside the image and on no other section's: a loader copying them in
// turn would let the later overwrite the earlier.
void CheckSections(const LoadedImage& Image) {
  std::vector<const ImageSection*> byAddress;
  for (const ImageSection& section : Image.Sections) {
    if (uint64_t{section.VirtualAddress} + section.MemorySize() > Image.SizeOfImage) {
      throw FormatError("section " + section.Name + " at RVA " +
                        tools::Hex(section.VirtualAddress) + "+" +
                        tools::Hex(section.MemorySize()) + " lies outside the image (" +
                        tools::Hex(Image.SizeOfImage) + " bytes)");
    }
    if (section.MemorySize() != 0) {
      byAddress.push_back(&section);
    }
  }
  std::sort(byAddress.begin(), byAddress.end(), [](const ImageSection* A, const ImageSection* B) {
    return A->VirtualAddress < B->VirtualAddress;
  });
  for (size_t i = 1; i < byAddress.size(); ++i) {
    const ImageSection& before = *byAddress[i - 1];
    const ImageSection& after = *byAddress[i];
    if (uint64_t{before.VirtualAddress} + before.MemorySize() > after.VirtualAddress) {
      throw FormatError("section " + after.Name + " at RVA " + tools::Hex(after.VirtualAddress) +
                        " overlaps section " + before.Name + " (RVA " +
                        tools::Hex(before.VirtualAddress) + "+" + tools::Hex(before.MemorySize()) +
                        ")");
    }
  }
}

// Each section's file data copied to its RVA.
void LayOutSections(std::span<const uint8_t> File, LoadedImage& Image) {
  const Reader file(File);
  for (const ImageSection& section : Image.Sections) {
    if (section.SizeOfRawData == 0) {
      continue;
    }
    const auto data = file.Slice(section.PointerToRawData, section.SizeOfRawData,
                                 "raw data of section " + section.Name);
    // The file holds the section's first SizeOfRawData bytes; the rest of its memory is zero.
    const uint32_t copied = std::min(section.MemorySize(), section.SizeOfRawData);
    std::copy_n(data.begin(), copied, Image.Memory.begin() + section.VirtualAddress);
  }
}

} // namespace

LoadedImage LoadPe32(std::span<const uint8_t> File) {
  const PeHeaders pe = ReadPeHeaders(File);
  CheckMachine(pe.Machine);
  CheckSize(pe.SizeOfImage);
  LoadedImage image;
  image.Machine = pe.Machine;
  image.Subsystem = pe.Subsystem;
  image.ImageBase = pe.ImageBase;
  image.AddressOfEntryPoint = pe.AddressOfEntryPoint;
  image.SizeOfImage = pe.SizeOfImage;
  image.SizeOfHeaders = pe.SizeOfHeaders;
  image.Sections = pe.Sections;
  const auto headers = Reader(File).Slice(0, pe.SizeOfHeaders, "headers (SizeOfHeaders)");
  if (pe.SizeOfHeaders > pe.SizeOfImage) {
    throw FormatError("headers (" + tools::Hex(pe.SizeOfHeaders) +
                      " bytes) are larger than the image");
  }
  if (pe.Import != ImageDirectory{}) {
    throw FormatError("the image imports (import table at RVA " + tools::Hex(pe.Import.Rva) +
                      "); the module must import nothing");
  }
  if (pe.DelayImport != ImageDirectory{}) {
    throw FormatError("the image imports (delay-import table at RVA " +
                      tools::Hex(pe.DelayImport.Rva) + "); the module must import nothing");
  }
  CheckEntry(image);
  if ((pe.Characteristics & FileRelocationsStripped) != 0) {
    throw FormatError("relocations stripped: the image can only run at its ImageBase");
  }
  if (pe.BaseRelocation.Size == 0) {
    throw FormatError("no relocation directory (and no relocations-stripped flag): the image "
                      "can only run at its ImageBase");
  }
  CheckSections(image);
  image.Memory.assign(image.SizeOfImage, 0);
  std::copy(headers.begin(), headers.end(), image.Memory.begin());
  LayOutSections(File, image);
  image.Fixups = ReadFixups(File, pe.Sections, pe.BaseRelocation, 0, pe.SizeOfImage);
  return image;
}

LoadedImage LoadTe(std::span<const uint8_t> File) {
  const TeImage te = ParseTe(File);
  CheckMachine(te.Machine);
  CheckSize(te.ImageSize());
  LoadedImage image;
  image.Machine = te.Machine;
  image.Subsystem = te.Subsystem;
  image.ImageBase = static_cast<uint32_t>(te.ImageBase);
  image.AddressOfEntryPoint = te.AddressOfEntryPoint;
  image.SizeOfImage = static_cast<uint32_t>(te.ImageSize());
  image.SizeOfHeaders = te.HeadersEnd();
  CheckEntry(image);
  if (te.BaseRelocation.Size == 0) {
    throw FormatError("no relocation directory: the TE image can only run at its ImageBase");
  }
  // The TE image as the PE32 it came from would lie in memory: what precedes the TE header stays
  // zero, the rest of the file goes where its section headers say.
  for (ImageSection section : te.Sections) {
    section.PointerToRawData -= te.StrippedBytes();
    image.Sections.push_back(section);
  }
  CheckSections(image);
  image.Memory.assign(image.SizeOfImage, 0);
  std::copy_n(File.begin(), image.SizeOfHeaders - te.StrippedBytes(),
              image.Memory.begin() + te.StrippedBytes());
  LayOutSections(File, image);
  image.Fixups = te.Fixups;
  return image;
}

LoadedImage LoadImage(SectionType Type, std::span<const uint8_t> File) {
  return Type == SectionType::Te ? LoadTe(File) : LoadPe32(File);
}

} // namespace package

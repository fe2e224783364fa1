#include "package/edit/PeiVolumeEdit.h"

#include "common/Format.h"
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/ImageHeaders.h"
#include "package/LoadedImage.h"
#include "package/Te.h"
#include "package/Volume.h"
#include "package/edit/Lzma.h"

#include <algorithm>
#include <optional>

namespace package {

const Guid LzmaCompressedSectionGuid = *Guid::Parse("EE4E5898-3914-4259-9D6E-DC7BD79403CF");
const Guid PeiAprioriFileGuid = *Guid::Parse("1B45CC0A-156A-428A-AF62-49864DA0E6E6");

namespace {

// EFI_FFS_FILE_HEADER fields rewritten here.
constexpr size_t HeaderChecksumAt = 16;
constexpr size_t DataChecksumAt = 17;
constexpr size_t AttributesAt = 19;
constexpr size_t FileSizeAt = 20;
constexpr size_t StateAt = 23;
// EFI_GUID_DEFINED_SECTION after the common header: the GUID, DataOffset, Attributes.
constexpr size_t GuidedDataOffsetAt = 16;
constexpr size_t GuidedHeaderSize = SectionHeaderSize + 16 + 2 + 2;
// Both image forms are linked with 32-byte sections; a PE32 run in place must start on one.
constexpr uint32_t ImageAlignment = 32;
constexpr size_t EntryPatternLength = 32;

// The file with OldHeader's name, type, attributes and state and Data as its data, its size and
// both checksums written again.
std::vector<uint8_t> RewriteFile(std::span<const uint8_t> OldHeader,
                                 std::span<const uint8_t> Data) {
  const uint64_t size = FileHeaderSize + Data.size();
  if (size > MaxSectionSize) {
    throw FormatError("a file of " + tools::Hex(size) + " bytes needs a large-file header");
  }
  std::vector<uint8_t> file(size);
  std::copy_n(OldHeader.begin(), FileHeaderSize, file.begin());
  std::copy(Data.begin(), Data.end(), file.begin() + FileHeaderSize);
  Put24(file, FileSizeAt, static_cast<uint32_t>(size));
  const uint8_t state = file[StateAt];
  file[StateAt] = 0;
  file[HeaderChecksumAt] = 0;
  file[DataChecksumAt] = 0;
  file[HeaderChecksumAt] = static_cast<uint8_t>(-Sum8(std::span(file).first(FileHeaderSize)));
  file[DataChecksumAt] = (file[AttributesAt] & AttributeChecksum) != 0
                             ? static_cast<uint8_t>(-Sum8(Data))
                             : FixedDataChecksum;
  file[StateAt] = state;
  return file;
}

bool Erased(std::span<const uint8_t> Bytes) {
  return std::all_of(Bytes.begin(), Bytes.end(), [](uint8_t b) { return b == ErasedByte; });
}

// Puts NewFile in the place of file Index of the volume Volume (parsed as Parsed). What follows
// keeps its place: the free space after a last file, or the pad file after it, takes the change.
void ReplaceFile(std::span<uint8_t> Volume, const ParsedVolume& Parsed, size_t Index,
                 std::span<const uint8_t> NewFile) {
  const VolumeFile& old = Parsed.Files[Index];
  const uint64_t start = old.Offset;
  const uint64_t newEnd = start + NewFile.size();
  const std::string what = "file " + old.File.Name.ToString();
  if (Index + 1 == Parsed.Files.size()) {
    if (newEnd > Parsed.Length) {
      throw FormatError(what + " grows to " + tools::Hex(NewFile.size()) +
                        " bytes, past the volume");
    }
    const uint64_t end = std::max<uint64_t>(start + old.File.Size, newEnd);
    std::fill(Volume.begin() + start, Volume.begin() + end, ErasedByte);
  } else {
    const VolumeFile& pad = Parsed.Files[Index + 1];
    if (pad.File.Type != FileType::Pad) {
      throw FormatError(what + " is followed by a file of type " + FileTypeName(pad.File.Type) +
                        ", not by a pad file that could take its change of size");
    }
    const uint64_t padEnd = pad.Offset + pad.File.Size;
    if (!Erased(Volume.subspan(pad.Offset + FileHeaderSize, pad.File.Size - FileHeaderSize))) {
      throw FormatError("the pad file after " + what + " holds data");
    }
    const uint64_t padStart = AlignUp(newEnd, FileAlignment);
    if (padStart + FileHeaderSize > padEnd) {
      throw FormatError(what + " grows past the pad file after it");
    }
    const std::vector<uint8_t> erased(padEnd - padStart - FileHeaderSize, ErasedByte);
    const std::vector<uint8_t> newPad =
        RewriteFile(Volume.subspan(pad.Offset, FileHeaderSize), erased);
    std::fill(Volume.begin() + start, Volume.begin() + padEnd, ErasedByte);
    std::copy(newPad.begin(), newPad.end(), Volume.begin() + padStart);
  }
  std::copy(NewFile.begin(), NewFile.end(), Volume.begin() + start);
}

std::span<const uint8_t> FileHeader(std::span<const uint8_t> Volume, const VolumeFile& File) {
  return Volume.subspan(File.Offset, FileHeaderSize);
}

ParsedVolume ParseNamed(std::span<const uint8_t> Data, const std::string& What) {
  try {
    return ParseVolume(Data);
  } catch (const FormatError& error) {
    throw FormatError(What + ": " + error.what());
  }
}

// The compressed PEI volume: which file of the main volume holds it, and its section.
struct CompressedSite {
  size_t FileIndex = 0;
  const ParsedSection* Guided = nullptr;
  uint16_t DataOffset = 0;
};

CompressedSite FindCompressedSite(const ParsedVolume& Main) {
  for (size_t i = 0; i < Main.Files.size(); ++i) {
    const ParsedFile& file = Main.Files[i].File;
    if (file.Type != FileType::FirmwareVolumeImage || file.Sections.size() != 1) {
      continue;
    }
    const ParsedSection& section = file.Sections.front();
    if (section.Type != SectionType::GuidDefined || section.Data.size() < 20 ||
        Guid::FromBytes(std::span(section.Data).first<16>()) != LzmaCompressedSectionGuid) {
      continue;
    }
    if (section.HeaderSize != SectionHeaderSize) {
      throw FormatError("the compressed section has an extended header, which is not handled");
    }
    const Reader data(section.Data);
    const uint16_t offset = data.U16(GuidedDataOffsetAt, "GUID-defined section header");
    if (offset < GuidedHeaderSize || offset > section.Size) {
      throw FormatError("GUID-defined section data offset " + tools::Hex(offset) +
                        " out of its section");
    }
    return {i, &section, offset};
  }
  throw FormatError("main volume: no FV_IMAGE file holding an LZMA-compressed section");
}

struct CodeFacts {
  SectionType Type{};
  uint32_t StrippedBytes = 0; // before the image's first byte: what shifts RVAs to offsets
  uint32_t EntryRva = 0;
  uint32_t ImageSize = 0;
  std::vector<ImageSection> Sections;
  std::vector<uint32_t> Fixups;
};

CodeFacts ReadCode(const Section& Code) {
  CodeFacts facts{Code.Type, 0, 0, 0, {}, {}};
  if (Code.Type == SectionType::Te) {
    const TeImage te = ParseTe(Code.Data);
    facts.StrippedBytes = te.StrippedBytes();
    facts.EntryRva = te.AddressOfEntryPoint;
    facts.Sections = te.Sections;
    facts.Fixups = te.Fixups;
  } else {
    const PeHeaders pe = ReadPeHeaders(Code.Data);
    facts.EntryRva = pe.AddressOfEntryPoint;
    facts.Sections = pe.Sections;
    facts.Fixups = ReadFixups(Code.Data, pe.Sections, pe.BaseRelocation, 0, pe.SizeOfImage);
  }
  for (const ImageSection& section : facts.Sections) {
    facts.ImageSize = std::max(facts.ImageSize, section.VirtualAddress + section.VirtualSize);
  }
  return facts;
}

std::vector<int> EntryPattern(const Section& Code, const CodeFacts& Facts) {
  const uint32_t at = FileOffsetOfRva(Facts.Sections, Facts.EntryRva, EntryPatternLength,
                                      Facts.StrippedBytes, Code.Data.size());
  std::vector<int> pattern(Code.Data.begin() + at, Code.Data.begin() + at + EntryPatternLength);
  for (const uint32_t fixup : Facts.Fixups) {
    for (uint32_t byte = fixup; byte < fixup + 4; ++byte) {
      if (byte >= Facts.EntryRva && byte < Facts.EntryRva + EntryPatternLength) {
        pattern[byte - Facts.EntryRva] = -1;
      }
    }
  }
  return pattern;
}

size_t CodeIndex(const FileSpec& File) {
  std::optional<size_t> found;
  for (size_t i = 0; i < File.Sections.size(); ++i) {
    const SectionType type = File.Sections[i].Type;
    if (type == SectionType::Pe32 || type == SectionType::Te) {
      if (found) {
        throw FormatError("the module's file holds more than one image section");
      }
      found = i;
    }
  }
  if (!found) {
    throw FormatError("the module's file holds no PE32 or TE section");
  }
  return *found;
}

// The module's sections with the dependency When asks for in place of its own.
FileSpec ModuleLayout(std::span<const uint8_t> PeimFile, Dispatch When) {
  const ParsedFile module = ParseFile(PeimFile);
  if (module.Size != PeimFile.size()) {
    throw FormatError("the module's file is " + tools::Hex(module.Size) + " bytes, followed by " +
                      tools::Hex(PeimFile.size() - module.Size) + " more");
  }
  if (module.Type != FileType::Peim) {
    throw FormatError("the module's file is of type " + FileTypeName(module.Type) + ", not PEIM");
  }
  FileSpec layout{module.Name, FileType::Peim, {}};
  bool depex = false;
  for (const ParsedSection& section : module.Sections) {
    if (section.Type == SectionType::PeiDepex) {
      depex = true;
      layout.Sections.push_back({section.Type, When == Dispatch::BeforeMemory
                                                   ? DepexAlways()
                                                   : DepexAfterPpi(PermanentMemoryInstalledPpi)});
    } else {
      layout.Sections.push_back({section.Type, section.Data});
    }
  }
  if (!depex) {
    throw FormatError("the module's file has no PEI dependency section");
  }
  const Section& code = layout.Sections[CodeIndex(layout)];
  LoadImage(code.Type, code.Data); // nothing the image runner would refuse is placed
  return layout;
}

// Before memory the image runs where it lies: a raw section before the code moves it onto an
// ImageAlignment boundary (as EDK2's own volumes do), then it is rebased there.
FileSpec PlaceInPlace(FileSpec File, uint32_t FileAddress, uint32_t& ImageAddress) {
  const size_t code = CodeIndex(File);
  const uint32_t stripped = ReadCode(File.Sections[code]).StrippedBytes;
  // No raw section first, then raw sections of 4 to 32 bytes: every 4-byte step of the boundary.
  for (int padding = -4; padding < static_cast<int>(ImageAlignment); padding += 4) {
    FileSpec trial = File;
    size_t at = code;
    if (padding >= 0) {
      trial.Sections.insert(trial.Sections.begin() + static_cast<std::ptrdiff_t>(code),
                            Section{SectionType::Raw, std::vector<uint8_t>(padding, 0)});
      ++at;
    }
    const std::vector<uint8_t> before =
        BuildSections(std::span(trial.Sections).first(static_cast<size_t>(at)));
    const uint64_t data = uint64_t{FileAddress} + FileHeaderSize +
                          AlignUp(before.size(), SectionAlignment) + SectionHeaderSize;
    if ((data - stripped) % ImageAlignment == 0) {
      ImageAddress = static_cast<uint32_t>(data - stripped);
      return PlaceFile(trial, FileAddress);
    }
  }
  throw FormatError("the module's image cannot be brought onto a 32-byte boundary");
}

void AddToApriori(std::span<uint8_t> Pei, const Guid& Module) {
  const ParsedVolume volume = ParseNamed(Pei, "PEI volume");
  for (size_t i = 0; i < volume.Files.size(); ++i) {
    const ParsedFile& file = volume.Files[i].File;
    if (file.Name != PeiAprioriFileGuid || file.Deleted()) {
      continue;
    }
    std::vector<Section> sections;
    for (const ParsedSection& section : file.Sections) {
      sections.push_back({section.Type, section.Data});
    }
    const ParsedSection& list = OnlySection(file, SectionType::Raw);
    auto raw = std::find_if(sections.begin(), sections.end(),
                            [](const Section& s) { return s.Type == SectionType::Raw; });
    if (list.Data.size() % 16 != 0) {
      throw FormatError("PEI apriori file: a list of " + tools::Hex(list.Data.size()) + " bytes");
    }
    raw->Data.insert(raw->Data.end(), Module.Bytes.begin(), Module.Bytes.end());
    ReplaceFile(Pei, volume, i,
                RewriteFile(FileHeader(Pei, volume.Files[i]), BuildSections(sections)));
    return;
  }
  throw FormatError("PEI volume: no apriori file");
}

// The first volume section of the decompressed contents.
std::span<uint8_t> PeiVolumeIn(std::span<uint8_t> Contents) {
  for (const ParsedSection& section : ParseSections(Contents)) {
    if (section.Type == SectionType::FirmwareVolumeImage) {
      return Contents.subspan(section.Offset + section.HeaderSize,
                              section.Size - section.HeaderSize);
    }
  }
  throw FormatError("the compressed section holds no volume");
}

} // namespace

std::vector<uint8_t> ReadPeiVolume(std::span<const uint8_t> Flash) {
  const ParsedVolume main = ParseNamed(Flash, "main volume");
  const CompressedSite site = FindCompressedSite(main);
  std::vector<uint8_t> contents =
      LzmaDecompress(std::span(site.Guided->Data).subspan(site.DataOffset - SectionHeaderSize));
  const auto pei = PeiVolumeIn(contents);
  return {pei.begin(), pei.end()};
}

PeimPlacement PlacePeim(std::span<const uint8_t> Flash, std::span<const uint8_t> PeimFile,
                        Dispatch When, uint32_t PeiVolumeAddress) {
  PeimPlacement result;
  result.Flash.assign(Flash.begin(), Flash.end());
  const ParsedVolume main = ParseNamed(result.Flash, "main volume");
  const CompressedSite site = FindCompressedSite(main);
  const ParsedSection& guided = *site.Guided;
  const auto payload = std::span(guided.Data).subspan(site.DataOffset - SectionHeaderSize);
  result.CompressedSizeBefore = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> contents = LzmaDecompress(payload);
  const auto pei = PeiVolumeIn(contents);
  FileSpec module = ModuleLayout(PeimFile, When);
  for (const VolumeFile& file : ParseNamed(pei, "PEI volume").Files) {
    if (file.File.Name == module.Name && !file.File.Deleted()) {
      throw FormatError("PEI volume already holds file " + module.Name.ToString());
    }
  }
  if (When == Dispatch::BeforeMemory) {
    AddToApriori(pei, module.Name);
  }
  const ParsedVolume volume = ParseNamed(pei, "PEI volume");
  try {
    CheckVolumeAddress(PeiVolumeAddress, volume.Length, volume.Attributes);
  } catch (const FormatError& error) {
    throw FormatError(std::string("the PEI volume's address: ") + error.what());
  }
  result.FileOffset = static_cast<uint32_t>(AlignUp(volume.FreeSpaceOffset, FileAlignment));
  result.FileAddress = PeiVolumeAddress + result.FileOffset;
  if (When == Dispatch::BeforeMemory) {
    module = PlaceInPlace(module, result.FileAddress, result.ImageAddress);
  }
  const std::vector<uint8_t> file = BuildFile(module);
  if (result.FileOffset + file.size() > volume.Length) {
    throw FormatError("PEI volume: " + tools::Hex(volume.Length - result.FileOffset) +
                      " bytes free, the module's file needs " + tools::Hex(file.size()));
  }
  std::copy(file.begin(), file.end(), pei.begin() + result.FileOffset);
  ParseNamed(pei, "edited PEI volume");

  const Section& code = module.Sections[CodeIndex(module)];
  const CodeFacts facts = ReadCode(code);
  result.CodeType = facts.Type;
  result.EntryRva = facts.EntryRva;
  result.ImageSize = facts.ImageSize;
  result.HeaderRva = facts.StrippedBytes;
  result.EntryPattern = EntryPattern(code, facts);

  const std::vector<uint8_t> packed = LzmaCompress(contents);
  result.CompressedSizeAfter = static_cast<uint32_t>(packed.size());
  const uint64_t sectionSize = site.DataOffset + packed.size();
  if (sectionSize > MaxSectionSize) {
    throw FormatError("the compressed section grows to " + tools::Hex(sectionSize) + " bytes");
  }
  std::vector<uint8_t> section(SectionHeaderSize);
  Put24(section, 0, static_cast<uint32_t>(sectionSize));
  section[3] = static_cast<uint8_t>(SectionType::GuidDefined);
  section.insert(section.end(), guided.Data.begin(),
                 guided.Data.begin() + (site.DataOffset - SectionHeaderSize));
  section.insert(section.end(), packed.begin(), packed.end());
  const VolumeFile& outer = main.Files[site.FileIndex];
  const auto mainVolume = std::span(result.Flash).first(main.Length);
  ReplaceFile(mainVolume, main, site.FileIndex,
              RewriteFile(FileHeader(mainVolume, outer), section));
  ParseNamed(result.Flash, "edited main volume");
  return result;
}

} // namespace package

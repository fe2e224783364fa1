#include "package/Te.h"

#include "common/Format.h"
#include "package/Bytes.h"

#include <algorithm>
#include <limits>

namespace package {

namespace {

constexpr size_t MachineAt = 2;
constexpr size_t SectionCountAt = 4;
constexpr size_t SubsystemAt = 5;
constexpr size_t StrippedSizeAt = 6;
constexpr size_t EntryPointAt = 8;
constexpr size_t BaseOfCodeAt = 12;
constexpr size_t ImageBaseAt = 16;
constexpr size_t RelocationDirectoryAt = 24;
constexpr size_t DebugDirectoryAt = 32;

} // namespace

uint32_t TeImage::HeadersEnd() const {
  return StrippedSize + SectionHeaderBytes * static_cast<uint32_t>(Sections.size());
}

uint64_t TeImage::ImageSize() const {
  uint64_t size = HeadersEnd();
  for (const ImageSection& section : Sections) {
    size = std::max<uint64_t>(size, uint64_t{section.VirtualAddress} +
                                        std::max(section.VirtualSize, section.SizeOfRawData));
  }
  return size;
}

std::vector<uint8_t> ConvertPeToTe(std::span<const uint8_t> Pe) {
  const PeHeaders pe = ReadPeHeaders(Pe);
  if (pe.Sections.size() > std::numeric_limits<uint8_t>::max()) {
    throw FormatError(std::to_string(pe.Sections.size()) + " sections; a TE image holds 255");
  }
  if (pe.SectionTableOffset > std::numeric_limits<uint16_t>::max()) {
    throw FormatError("headers of " + tools::Hex(pe.SectionTableOffset) +
                      " bytes; a TE image strips " + "at most 0xFFFF");
  }
  if (pe.Subsystem > std::numeric_limits<uint8_t>::max()) {
    throw FormatError("subsystem " + tools::Hex(pe.Subsystem) + " does not fit a TE header");
  }
  std::vector<uint8_t> te(TeHeaderSize, 0);
  Put16(te, 0, TeSignature);
  Put16(te, MachineAt, pe.Machine);
  te[SectionCountAt] = static_cast<uint8_t>(pe.Sections.size());
  te[SubsystemAt] = static_cast<uint8_t>(pe.Subsystem);
  Put16(te, StrippedSizeAt, static_cast<uint16_t>(pe.SectionTableOffset));
  Put32(te, EntryPointAt, pe.AddressOfEntryPoint);
  Put32(te, BaseOfCodeAt, pe.BaseOfCode);
  Put64(te, ImageBaseAt, pe.ImageBase);
  Put32(te, RelocationDirectoryAt, pe.BaseRelocation.Rva);
  Put32(te, RelocationDirectoryAt + 4, pe.BaseRelocation.Size);
  Put32(te, DebugDirectoryAt, pe.Debug.Rva);
  Put32(te, DebugDirectoryAt + 4, pe.Debug.Size);
  te.insert(te.end(), Pe.begin() + pe.SectionTableOffset, Pe.end());
  // Check the result the way a loader will read it.
  ParseTe(te);
  return te;
}

TeImage ParseTe(std::span<const uint8_t> File) {
  const Reader in(File);
  if (in.U16(0, "TE header") != TeSignature) {
    throw FormatError("not a TE image: no VZ signature");
  }
  in.Need(0, TeHeaderSize, "TE header");
  TeImage te;
  te.Machine = in.U16(MachineAt, "TE header");
  const uint8_t sectionCount = in.U8(SectionCountAt, "TE header");
  te.Subsystem = in.U8(SubsystemAt, "TE header");
  te.StrippedSize = in.U16(StrippedSizeAt, "TE header");
  te.AddressOfEntryPoint = in.U32(EntryPointAt, "TE header");
  te.BaseOfCode = in.U32(BaseOfCodeAt, "TE header");
  te.ImageBase = in.U64(ImageBaseAt, "TE header");
  te.BaseRelocation = {in.U32(RelocationDirectoryAt, "TE header"),
                       in.U32(RelocationDirectoryAt + 4, "TE header")};
  te.Debug = {in.U32(DebugDirectoryAt, "TE header"), in.U32(DebugDirectoryAt + 4, "TE header")};
  if (te.StrippedSize < TeHeaderSize) {
    throw FormatError("TE StrippedSize " + tools::Hex(te.StrippedSize) +
                      " is smaller than the TE header itself");
  }
  te.Sections = ReadSectionTable(File, TeHeaderSize, sectionCount);
  const uint64_t headersEnd = TeHeaderSize + uint64_t{sectionCount} * SectionHeaderBytes;
  for (const ImageSection& section : te.Sections) {
    if (section.SizeOfRawData == 0) {
      continue;
    }
    // Where the section's data is, as StrippedSize places it.
    const int64_t at = int64_t{section.PointerToRawData} - te.StrippedBytes();
    const std::string placed = "section " + section.Name + " at " + (at < 0 ? "-" : "") +
                               tools::Hex(static_cast<uint64_t>(at < 0 ? -at : at)) + "+" +
                               tools::Hex(section.SizeOfRawData);
    if (at < static_cast<int64_t>(headersEnd)) {
      throw FormatError("TE StrippedSize " + tools::Hex(te.StrippedSize) + " puts " + placed +
                        ", inside the TE headers (" + tools::Hex(headersEnd) + " bytes)");
    }
    if (static_cast<uint64_t>(at) + section.SizeOfRawData > File.size()) {
      // A file cut short and a StrippedSize too small look alike from here: name both.
      throw FormatError("truncated TE image: " + placed + " (as StrippedSize " +
                        tools::Hex(te.StrippedSize) + " places it) runs past the end (" +
                        std::to_string(File.size()) + " bytes)");
    }
  }
  te.Fixups = ReadFixups(File, te.Sections, te.BaseRelocation, te.StrippedBytes(), te.ImageSize());
  if (te.ImageBase > std::numeric_limits<uint32_t>::max()) {
    throw FormatError("TE ImageBase " + tools::Hex(te.ImageBase) + " lies above 4 GiB");
  }
  return te;
}

} // namespace package

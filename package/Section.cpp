#include "package/Section.h"

#include "common/Format.h"
#include "package/Bytes.h"

namespace package {

namespace {

// Sizes of 0xFFFFFF in the common header mean "look at the 32-bit extended size".
constexpr uint32_t ExtendedSizeMarker = 0xFFFFFF;
constexpr size_t ExtendedHeaderSize = 8;

} // namespace

std::vector<uint8_t> BuildSections(std::span<const Section> Sections) {
  std::vector<uint8_t> out;
  for (const Section& section : Sections) {
    out.resize(AlignUp(out.size(), SectionAlignment), 0);
    const uint64_t size = SectionHeaderSize + section.Data.size();
    if (size >= MaxSectionSize) {
      throw FormatError(SectionTypeName(section.Type) + " section of " + std::to_string(size) +
                        " bytes is too large for a common section header");
    }
    const size_t at = out.size();
    out.resize(at + SectionHeaderSize);
    Put24(out, at, static_cast<uint32_t>(size));
    out[at + 3] = static_cast<uint8_t>(section.Type);
    out.insert(out.end(), section.Data.begin(), section.Data.end());
  }
  return out;
}

std::vector<ParsedSection> ParseSections(std::span<const uint8_t> Data) {
  const Reader in(Data);
  std::vector<ParsedSection> sections;
  size_t at = 0;
  while (at < Data.size()) {
    const size_t start = AlignUp(at, SectionAlignment);
    for (size_t pad = at; pad < start && pad < Data.size(); ++pad) {
      if (Data[pad] != 0) {
        throw FormatError("nonzero padding at " + tools::Hex(pad) + " between sections");
      }
    }
    if (start >= Data.size()) {
      break;
    }
    ParsedSection section;
    section.Offset = static_cast<uint32_t>(start);
    section.Size = in.U24(start, "section header at " + tools::Hex(start));
    section.Type =
        static_cast<SectionType>(in.U8(start + 3, "section header at " + tools::Hex(start)));
    section.HeaderSize = SectionHeaderSize;
    if (section.Size == ExtendedSizeMarker) {
      section.Size = in.U32(start + 4, "extended section header at " + tools::Hex(start));
      section.HeaderSize = ExtendedHeaderSize;
    }
    if (section.Size < section.HeaderSize) {
      throw FormatError("section at " + tools::Hex(start) + " has size " +
                        tools::Hex(section.Size) + ", less than its header");
    }
    if (section.Size > Data.size() - start) {
      throw FormatError("section at " + tools::Hex(start) + " of size " + tools::Hex(section.Size) +
                        " runs past the end of the file's data (" + std::to_string(Data.size()) +
                        " bytes)");
    }
    const auto body = Data.subspan(start + section.HeaderSize, section.Size - section.HeaderSize);
    section.Data.assign(body.begin(), body.end());
    sections.push_back(std::move(section));
    at = start + sections.back().Size;
  }
  return sections;
}

namespace {

// Printable ASCII only: what the readers of the text take back.
std::vector<uint8_t> Ucs2(std::string_view Ascii, const std::string& What) {
  std::vector<uint8_t> data;
  for (size_t i = 0; i < Ascii.size(); ++i) {
    // Each UCS-2 unit holds one character: only printable ASCII is the same in both.
    const auto c = static_cast<uint8_t>(Ascii[i]);
    if (c < FirstNameCharacter || c > LastNameCharacter) {
      throw FormatError(What + " holds byte " + tools::Hex(c) + " at " + std::to_string(i) +
                        "; only printable ASCII is written");
    }
    data.push_back(c);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::string Ascii(std::span<const uint8_t> Data, const std::string& Section,
                  const std::string& What) {
  if (Data.size() < 2 || Data.size() % 2 != 0 || Data[Data.size() - 2] != 0 ||
      Data[Data.size() - 1] != 0) {
    throw FormatError(Section + " section is not a UCS-2 string ending in a zero");
  }
  std::string text;
  for (size_t i = 0; i + 2 < Data.size(); i += 2) {
    const unsigned unit = Data[i] | Data[i + 1] << 8;
    if (unit < FirstNameCharacter || unit > LastNameCharacter) {
      throw FormatError(What + " holds character " + tools::Hex(unit) + " at " + tools::Hex(i));
    }
    text += static_cast<char>(unit);
  }
  return text;
}

} // namespace

std::vector<uint8_t> UserInterfaceData(std::string_view AsciiName) {
  return Ucs2(AsciiName, "user-interface name");
}

std::string UserInterfaceName(std::span<const uint8_t> Data) {
  return Ascii(Data, "user-interface", "user-interface name");
}

std::vector<uint8_t> VersionData(const ModuleVersion& Version) {
  std::vector<uint8_t> data(2);
  Put16(data, 0, Version.BuildNumber);
  const std::vector<uint8_t> text = Ucs2(Version.Text, "version text");
  data.insert(data.end(), text.begin(), text.end());
  return data;
}

ModuleVersion ParseVersionData(std::span<const uint8_t> Data) {
  const uint16_t build = Reader(Data).U16(0, "version section's build number");
  return {build, Ascii(Data.subspan(2), "version", "version text")};
}

std::string SectionTypeName(SectionType Type) {
  switch (Type) {
  case SectionType::Compression:
    return "compression";
  case SectionType::GuidDefined:
    return "GUID-defined";
  case SectionType::Pe32:
    return "PE32";
  case SectionType::Pic:
    return "PIC";
  case SectionType::Te:
    return "TE";
  case SectionType::DxeDepex:
    return "DXE dependency";
  case SectionType::Version:
    return "version";
  case SectionType::UserInterface:
    return "user-interface";
  case SectionType::Compatibility16:
    return "compatibility16";
  case SectionType::FirmwareVolumeImage:
    return "firmware-volume image";
  case SectionType::FreeformSubtypeGuid:
    return "freeform";
  case SectionType::Raw:
    return "raw";
  case SectionType::PeiDepex:
    return "PEI dependency";
  case SectionType::MmDepex:
    return "MM dependency";
  }
  return "type " + tools::Hex(static_cast<uint8_t>(Type));
}

} // namespace package

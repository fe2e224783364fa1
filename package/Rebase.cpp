#include "package/Rebase.h"

#include "common/Format.h"
#include "package/Bytes.h"
#include "package/ImageHeaders.h"
#include "package/Te.h"

namespace package {

namespace {

constexpr size_t TeImageBaseAt = 16;

} // namespace

std::vector<uint8_t> RebasePe(std::span<const uint8_t> Pe, uint32_t NewBase) {
  const PeHeaders pe = ReadPeHeaders(Pe);
  const std::vector<uint32_t> fixups =
      ReadFixups(Pe, pe.Sections, pe.BaseRelocation, 0, pe.SizeOfImage);
  std::vector<uint8_t> out(Pe.begin(), Pe.end());
  ApplyFixups(out, pe.Sections, fixups, 0, NewBase - pe.ImageBase);
  Put32(out, pe.ImageBaseOffset, NewBase);
  return out;
}

std::vector<uint8_t> RebaseTe(std::span<const uint8_t> Te, uint32_t HeaderAddress) {
  const TeImage te = ParseTe(Te);
  if (HeaderAddress < te.StrippedBytes()) {
    throw FormatError("a TE image that strips " + tools::Hex(te.StrippedBytes()) +
                      " bytes cannot start at " + tools::Hex(HeaderAddress));
  }
  const uint32_t newBase = HeaderAddress - te.StrippedBytes();
  std::vector<uint8_t> out(Te.begin(), Te.end());
  ApplyFixups(out, te.Sections, te.Fixups, te.StrippedBytes(),
              newBase - static_cast<uint32_t>(te.ImageBase));
  Put64(out, TeImageBaseAt, newBase);
  return out;
}

Section RebaseSection(const Section& Image, uint32_t Address) {
  switch (Image.Type) {
  case SectionType::Pe32:
    return {Image.Type, RebasePe(Image.Data, Address)};
  case SectionType::Te:
    return {Image.Type, RebaseTe(Image.Data, Address)};
  default:
    return Image;
  }
}

void CheckRunsInPlace(const Section& Image) {
  std::vector<ImageSection> sections;
  if (Image.Type == SectionType::Pe32) {
    sections = ReadPeHeaders(Image.Data).Sections;
  } else if (Image.Type == SectionType::Te) {
    sections = ParseTe(Image.Data).Sections;
  }
  for (const ImageSection& section : sections) {
    if (section.VirtualAddress != section.PointerToRawData ||
        section.VirtualSize > section.SizeOfRawData) {
      throw FormatError(
          "section " + section.Name + " (RVA " + tools::Hex(section.VirtualAddress) + "+" +
          tools::Hex(section.VirtualSize) + ", file " + tools::Hex(section.PointerToRawData) + "+" +
          tools::Hex(section.SizeOfRawData) +
          ") is not laid out in the file as in memory: the image cannot run in place");
    }
  }
}

} // namespace package

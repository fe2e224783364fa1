#include "emu/GdbSymbols.h"

#include "common/Format.h"

#include <filesystem>

namespace emu {

namespace {

constexpr uint32_t CodeOrData = 0x00000020 | 0x00000040; // IMAGE_SCN_CNT_CODE, _INITIALIZED_DATA
constexpr uint32_t Discardable = 0x02000000;

bool Loaded(const package::ImageSection& Section) {
  return (Section.Characteristics & CodeOrData) != 0 &&
         (Section.Characteristics & Discardable) == 0;
}

} // namespace

uint32_t DebugTwinShift(const PeImage& Image, const PeImage& Twin) {
  std::optional<uint32_t> shift;
  size_t twinAt = 0;
  for (const package::ImageSection& section : Image.Sections) {
    if (!Loaded(section) || section.Name == ".reloc") {
      continue;
    }
    while (twinAt < Twin.Sections.size() && Twin.Sections[twinAt].Name != section.Name) {
      ++twinAt;
    }
    if (twinAt == Twin.Sections.size()) {
      throw ImageError("the debug twin has no section " + section.Name + " where the image has");
    }
    const package::ImageSection& twin = Twin.Sections[twinAt];
    if (twin.VirtualAddress < section.VirtualAddress || twin.VirtualSize < section.VirtualSize ||
        (shift && twin.VirtualAddress - section.VirtualAddress != *shift)) {
      throw ImageError("the debug twin's section " + section.Name +
                       " is not laid out as the image's");
    }
    shift = twin.VirtualAddress - section.VirtualAddress;
  }
  if (!shift) {
    throw ImageError("the image has no code or data section");
  }
  return *shift;
}

std::string DebugTwinPath(const std::string& ImagePath) {
  std::filesystem::path path(ImagePath);
  return path.replace_extension(".debug" + path.extension().string()).string();
}

std::optional<uint32_t> SymbolOffset(const PeImage& Image, const std::string& ImagePath,
                                     uint32_t Base, std::string& Why) {
  const std::string twinPath = DebugTwinPath(ImagePath);
  try {
    return Base - DebugTwinShift(Image, ReadPeFile(twinPath));
  } catch (const ImageError& error) {
    Why = twinPath + ": " + error.what();
    return std::nullopt;
  }
}

std::optional<std::string> SymbolFileCommand(const PeImage& Image, const std::string& ImagePath,
                                             uint32_t Base, std::string& Why) {
  const std::optional<uint32_t> shift = SymbolOffset(Image, ImagePath, Base, Why);
  if (!shift) {
    return std::nullopt;
  }
  return "symbol-file -o 0x" + tools::HexDigits(*shift) + " " +
         std::filesystem::absolute(DebugTwinPath(ImagePath)).string();
}

} // namespace emu

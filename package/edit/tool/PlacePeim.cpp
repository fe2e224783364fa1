// place_peim: puts a PEI module's FFS file into the compressed PEI volume of an EDK2 flash image
// (see PeiVolumeEdit.h) and says where it went, one "key: value" line each, for the scripts that
// then boot the image and look for the module there.
#include "package/Bytes.h"
#include "package/edit/PeiVolumeEdit.h"
#include "package/tool/FileBytes.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

std::string Pattern(const std::vector<int>& Bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  for (const int byte : Bytes) {
    text += byte < 0 ? '.' : Digits[byte >> 4];
    text += byte < 0 ? '.' : Digits[byte & 0xF];
  }
  return text;
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Puts a PEI module into the compressed PEI volume of an EDK2 flash image"};
  std::string firmware, ffs, out, dispatch;
  uint32_t peiBase = 0x820000;
  app.add_option("--firmware", firmware, "the flash image (code part)")->required();
  app.add_option("--ffs", ffs, "the module's FFS file (PEIM)")->required();
  app.add_option("--dispatch", dispatch, "before-memory (in place) or after-memory (loaded)")
      ->required()
      ->check(CLI::IsMember({"before-memory", "after-memory"}));
  app.add_option("--pei-base", peiBase, "where SEC copies the PEI volume");
  app.add_option("--out", out, "write the edited image here")->required();
  CLI11_PARSE(app, argc, argv);

  try {
    const package::Dispatch when = dispatch == "before-memory" ? package::Dispatch::BeforeMemory
                                                               : package::Dispatch::AfterMemory;
    const package::PeimPlacement placed = package::PlacePeim(
        package::ReadFileBytes(firmware), package::ReadFileBytes(ffs), when, peiBase);
    package::WriteFileBytes(out, placed.Flash);
    std::cout << "file-offset: " << package::Hex(placed.FileOffset) << '\n'
              << "file-address: " << package::Hex(placed.FileAddress) << '\n'
              << "code: " << (placed.CodeType == package::SectionType::Te ? "te" : "pe32") << '\n'
              << "entry-rva: " << package::Hex(placed.EntryRva) << '\n'
              << "image-size: " << package::Hex(placed.ImageSize) << '\n'
              << "header-rva: " << package::Hex(placed.HeaderRva) << '\n'
              << "entry-pattern: " << Pattern(placed.EntryPattern) << '\n'
              << "compressed: " << placed.CompressedSizeBefore << " -> "
              << placed.CompressedSizeAfter << '\n';
    if (when == package::Dispatch::BeforeMemory) {
      std::cout << "image-address: " << package::Hex(placed.ImageAddress) << '\n'
                << "entry-address: " << package::Hex(placed.ImageAddress + placed.EntryRva) << '\n';
    }
  } catch (const std::exception& error) {
    std::cerr << "place_peim: " << error.what() << '\n';
    return 2;
  }
  return 0;
}

// place_peim: puts a PEI module's FFS file into the compressed PEI volume of an EDK2 flash image
// (see PeiVolumeEdit.h) and says where it went, one "key: value" line each, for the scripts that
// then boot the image and look for the module there. The edited image is written whole or not at
// all, and never over an input.
#include "common/Format.h"
#include "common/files/OutputFile.h"
#include "common/files/SharedFiles.h"
#include "package/Bytes.h"
#include "package/Ffs.h"
#include "package/edit/PeiVolumeEdit.h"
#include "package/tool/PackagingTool.h"

#include <iostream>

namespace {

// Where Debian's 32-bit OVMF, which the PEI-core test boots, copies its PEI volume.
constexpr const char* DefaultPeiBase = "0x820000";

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
  std::string firmware, ffs, out, dispatch, peiBase = DefaultPeiBase;
  app.add_option("--firmware", firmware, "the flash image (code part)")->required();
  app.add_option("--ffs", ffs, "the module's FFS file (PEIM)")->required();
  app.add_option("--dispatch", dispatch, "before-memory (in place) or after-memory (loaded)")
      ->required()
      ->check(CLI::IsMember({"before-memory", "after-memory"}));
  app.add_option("--pei-base", peiBase,
                 std::string("where SEC copies the PEI volume (default ") + DefaultPeiBase + ")");
  app.add_option("--out", out, "write the edited image here")->required();
  app.footer("Numbers are decimal, or hex behind 0x. Exit status: 0 done; 2 bad input; 3 an "
             "output could not be written.");

  return package::tool::RunTool(app, argc, argv, [&] {
    files::RefuseSharedFiles({{firmware, "flash image"}, {ffs, "FFS file"}},
                             {{out, "edited image"}});
    const auto peiAddress =
        static_cast<uint32_t>(package::tool::NumberOption(peiBase, "--pei-base", 0xFFFFFFFF));
    files::OutputFile edited(out, "edited image");
    const std::vector<uint8_t> flash =
        package::tool::ReadInputFile(firmware, package::MaxFlashSize, "a flash image");
    const std::vector<uint8_t> module =
        package::tool::ReadInputFile(ffs, package::MaxFileSize, "an FFS file");
    const package::Dispatch when = dispatch == "before-memory" ? package::Dispatch::BeforeMemory
                                                               : package::Dispatch::AfterMemory;
    const package::PeimPlacement placed = package::PlacePeim(flash, module, when, peiAddress);
    edited.Stream().write(reinterpret_cast<const char*>(placed.Flash.data()),
                          static_cast<std::streamsize>(placed.Flash.size()));
    edited.Finish();
    std::cout << "file-offset: " << tools::Hex(placed.FileOffset) << '\n'
              << "file-address: " << tools::Hex(placed.FileAddress) << '\n'
              << "code: " << (placed.CodeType == package::SectionType::Te ? "te" : "pe32") << '\n'
              << "entry-rva: " << tools::Hex(placed.EntryRva) << '\n'
              << "image-size: " << tools::Hex(placed.ImageSize) << '\n'
              << "header-rva: " << tools::Hex(placed.HeaderRva) << '\n'
              << "entry-pattern: " << Pattern(placed.EntryPattern) << '\n'
              << "compressed: " << placed.CompressedSizeBefore << " -> "
              << placed.CompressedSizeAfter << '\n';
    if (when == package::Dispatch::BeforeMemory) {
      std::cout << "image-address: " << tools::Hex(placed.ImageAddress) << '\n'
                << "entry-address: " << tools::Hex(placed.ImageAddress + placed.EntryRva) << '\n';
    }
  });
}

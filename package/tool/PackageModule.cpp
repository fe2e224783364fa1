// package_module: derives the shipped forms of a PEI module from its PE32 image: the TE image,
// the FFS file (PEIM) and a firmware volume holding that file, with the module rebased to run in
// place at the volume's base address. Each output is written whole or not at all.
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Peim.h"
#include "package/Te.h"
#include "package/Volume.h"
#include "package/tool/FileBytes.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

uint32_t Number(const std::string& Text, const std::string& What) {
  size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(Text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != Text.size() || value > 0xFFFFFFFFul) {
    throw package::FormatError(What + " " + Text + " is not a 32-bit number");
  }
  return static_cast<uint32_t>(value);
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Derives the TE image, the FFS file and a firmware volume from a module's PE32"};
  std::string pe, guid, name, depex = "always", code = "te", base = "0", size = "0x10000";
  std::string teOut, ffsOut, fvOut, depexOut, version;
  uint16_t buildNumber = 0;
  app.add_option("--pe", pe, "the module's PE32 image")->required();
  app.add_option("--guid", guid, "the FFS file's name")->required();
  app.add_option("--name", name, "the user-interface name")->required();
  app.add_option("--depex", depex, "always, or after-memory (the permanent-memory PPI)")
      ->check(CLI::IsMember({"always", "after-memory"}));
  app.add_option("--code", code, "te or pe32: the form of the code section")
      ->check(CLI::IsMember({"te", "pe32"}));
  app.add_option("--fv-base", base, "address of the volume's first byte; the module runs there");
  app.add_option("--fv-size", size, "volume size in bytes, a multiple of 4096");
  app.add_option("--module-version", version, "the version section's text (none without it)");
  app.add_option("--build-number", buildNumber, "the version section's build number (0-65535)")
      ->needs("--module-version");
  app.add_option("--te", teOut, "write the TE image here");
  app.add_option("--ffs", ffsOut, "write the FFS file here");
  app.add_option("--fv", fvOut, "write the volume here");
  app.add_option("--depex-file", depexOut, "write the dependency expression alone here");
  CLI11_PARSE(app, argc, argv);

  try {
    const std::optional<package::Guid> fileName = package::Guid::Parse(guid);
    if (!fileName) {
      throw package::FormatError("--guid " + guid + " is not a GUID");
    }
    const std::vector<uint8_t> image = package::ReadFileBytes(pe);
    const package::PeimSpec wanted{
        *fileName, name,
        depex == "always" ? package::DepexAlways()
                          : package::DepexAfterPpi(package::PermanentMemoryInstalledPpi),
        code == "te" ? package::CodeForm::Te : package::CodeForm::Pe32,
        version.empty() ? std::nullopt
                        : std::optional<package::ModuleVersion>({buildNumber, version})};
    const package::FileSpec file = package::PeimFile(wanted, image);
    const package::VolumeSpec volume{.Size = Number(size, "--fv-size")};
    const std::vector<uint8_t> te = package::ConvertPeToTe(image);
    const std::vector<uint8_t> ffs = package::BuildFile(file);
    const std::vector<uint8_t> fv =
        package::BuildVolumeInPlace({&file, 1}, volume, Number(base, "--fv-base"));
    package::ParseVolume(fv); // what we ship must read back
    if (!teOut.empty()) {
      package::WriteFileBytes(teOut, te);
    }
    if (!ffsOut.empty()) {
      package::WriteFileBytes(ffsOut, ffs);
    }
    if (!fvOut.empty()) {
      package::WriteFileBytes(fvOut, fv);
    }
    if (!depexOut.empty()) {
      package::WriteFileBytes(depexOut, wanted.Depex);
    }
  } catch (const std::exception& error) {
    std::cerr << "package_module: " << pe << ": " << error.what() << '\n';
    return 2;
  }
  return 0;
}

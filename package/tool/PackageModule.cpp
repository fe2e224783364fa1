// package_module: derives the shipped forms of a PEI module from its PE32 image: the TE image,
// the FFS file (PEIM) and a firmware volume holding that file, with the module rebased to run in
// place at the volume's base address. The image must be one the image runner would run; each
// output is written whole or not at all, and none may be the input.
#include "common/Printable.h"
#include "common/files/OutputFile.h"
#include "common/files/SharedFiles.h"
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/LoadedImage.h"
#include "package/Peim.h"
#include "package/Te.h"
#include "package/Volume.h"
#include "package/tool/PackagingTool.h"

#include <memory>
#include <optional>

namespace {

// RAM where a PEI core that copies its PEI volume out of flash finds it, and free memory in the
// image runner: a volume built for it runs as it is in both.
constexpr const char* DefaultVolumeBase = "0x00820000";
constexpr uint64_t AddressMax = 0xFFFFFFFF;

struct Output {
  std::string Path;
  std::string What;
  std::unique_ptr<files::OutputFile> File;
};

void Write(Output& Out, const std::vector<uint8_t>& Bytes) {
  if (Out.File) {
    Out.File->Stream().write(reinterpret_cast<const char*>(Bytes.data()),
                             static_cast<std::streamsize>(Bytes.size()));
    Out.File->Finish();
  }
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Derives the TE image, the FFS file and a firmware volume from a module's PE32"};
  std::string pe, guid, name, depex = "always", code = "te", base = DefaultVolumeBase,
                              size = "0x10000";
  std::string version;
  uint16_t buildNumber = 0;
  Output te{{}, "TE image", {}}, ffs{{}, "FFS file", {}}, fv{{}, "volume", {}},
      depexFile{{}, "dependency expression", {}};
  app.add_option("--pe", pe, "the module's PE32 image")->required();
  app.add_option("--guid", guid, "the FFS file's name")->required();
  app.add_option("--name", name, "the user-interface name (printable ASCII)")->required();
  app.add_option("--depex", depex, "always, or after-memory (the permanent-memory PPI)")
      ->check(CLI::IsMember({"always", "after-memory"}));
  app.add_option("--code", code, "te or pe32: the form of the code section")
      ->check(CLI::IsMember({"te", "pe32"}));
  app.add_option("--fv-base", base,
                 std::string("address of the volume's first byte; the module runs there "
                             "(default ") +
                     DefaultVolumeBase + ", RAM free in the image runner)");
  app.add_option("--fv-size", size, "volume size in bytes, a multiple of 4096 (default 0x10000)");
  app.add_option("--module-version", version,
                 "the version section's text, printable ASCII (no version section without it)");
  app.add_option("--build-number", buildNumber, "the version section's build number (0-65535)")
      ->needs("--module-version");
  app.add_option("--te", te.Path, "write the TE image here");
  app.add_option("--ffs", ffs.Path, "write the FFS file here");
  app.add_option("--fv", fv.Path, "write the volume here");
  app.add_option("--depex-file", depexFile.Path, "write the dependency expression alone here");
  app.footer("Numbers are decimal, or hex behind 0x. Exit status: 0 done; 2 bad input; 3 an "
             "output could not be written.");

  return package::tool::RunTool(app, argc, argv, [&] {
    using package::tool::Refuse;
    std::vector<files::NamedFile> outputs;
    for (const Output* out : {&te, &ffs, &fv, &depexFile}) {
      if (!out->Path.empty()) {
        outputs.push_back({out->Path, out->What});
      }
    }
    files::RefuseSharedFiles({{pe, "PE32 image"}}, outputs);
    const std::optional<package::Guid> fileName = package::Guid::Parse(guid);
    if (!fileName) {
      Refuse("--guid " + tools::Printable(guid) + " is not a GUID (8-4-4-4-12 hex digits)");
    }
    try {
      package::UserInterfaceData(name);
    } catch (const package::FormatError& error) {
      Refuse(std::string("--name: ") + error.what());
    }
    std::optional<package::ModuleVersion> moduleVersion;
    if (!version.empty()) {
      moduleVersion = package::ModuleVersion{buildNumber, version};
      try {
        package::VersionData(*moduleVersion);
      } catch (const package::FormatError& error) {
        Refuse(std::string("--module-version: ") + error.what());
      }
    }
    const package::VolumeSpec volume{
        .Size = package::tool::NumberOption(size, "--fv-size", AddressMax)};
    if (volume.Size % volume.BlockSize != 0 || volume.Size < package::VolumeHeaderSize) {
      Refuse("--fv-size " + size + " is not a whole number of " + std::to_string(volume.BlockSize) +
             "-byte blocks");
    }
    const auto volumeBase =
        static_cast<uint32_t>(package::tool::NumberOption(base, "--fv-base", AddressMax));
    try {
      package::CheckVolumeAddress(volumeBase, volume.Size, volume.Attributes);
    } catch (const package::FormatError& error) {
      Refuse("--fv-base " + base + ": " + error.what());
    }
    for (Output* out : {&te, &ffs, &fv, &depexFile}) {
      if (!out->Path.empty()) {
        out->File = std::make_unique<files::OutputFile>(out->Path, out->What);
      }
    }
    const std::vector<uint8_t> image =
        package::tool::ReadInputFile(pe, package::MaxImageSize, "a module's image");
    std::vector<uint8_t> teImage, ffsFile, fvImage, depexBytes;
    try {
      const package::PeimSpec wanted{
          *fileName, name,
          depex == "always" ? package::DepexAlways()
                            : package::DepexAfterPpi(package::PermanentMemoryInstalledPpi),
          code == "te" ? package::CodeForm::Te : package::CodeForm::Pe32, moduleVersion};
      const package::FileSpec file = package::PeimFile(wanted, image);
      teImage = package::ConvertPeToTe(image);
      ffsFile = package::BuildFile(file);
      fvImage = package::BuildVolumeInPlace({&file, 1}, volume, volumeBase);
      package::ParseVolume(fvImage); // what we ship must read back
      depexBytes = wanted.Depex;
    } catch (const package::FormatError& error) {
      Refuse(tools::Printable(pe) + ": " + error.what());
    }
    Write(te, teImage);
    Write(ffs, ffsFile);
    Write(fv, fvImage);
    Write(depexFile, depexBytes);
  });
}

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

// What the command line asks for, as typed.
struct Request {
  std::string Pe, Guid, Name, Depex = "always", Code = "te", Base = DefaultVolumeBase,
                              Size = "0x10000", Version;
  uint16_t BuildNumber = 0;
  Output Te{{}, "TE image", {}}, Ffs{{}, "FFS file", {}}, Fv{{}, "volume", {}},
      DepexFile{{}, "dependency expression", {}};
  std::vector<Output*> Outputs() { return {&Te, &Ffs, &Fv, &DepexFile}; }
};

void AddOptions(CLI::App& App, Request& R) {
  App.add_option("--pe", R.Pe, "the module's PE32 image")->required();
  App.add_option("--guid", R.Guid, "the FFS file's name")->required();
  App.add_option("--name", R.Name, "the user-interface name (printable ASCII)")->required();
  App.add_option("--depex", R.Depex, "always, or after-memory (the permanent-memory PPI)")
      ->check(CLI::IsMember({"always", "after-memory"}));
  App.add_option("--code", R.Code, "te or pe32: the form of the code section")
      ->check(CLI::IsMember({"te", "pe32"}));
  App.add_option("--fv-base", R.Base,
                 std::string("address of the volume's first byte; the module runs there "
                             "(default ") +
                     DefaultVolumeBase + ", RAM free in the image runner)");
  App.add_option("--fv-size", R.Size, "volume size in bytes, a multiple of 4096 (default 0x10000)");
  App.add_option("--module-version", R.Version,
                 "the version section's text, printable ASCII (no version section without it)");
  App.add_option("--build-number", R.BuildNumber, "the version section's build number (0-65535)")
      ->needs("--module-version");
  App.add_option("--te", R.Te.Path, "write the TE image here");
  App.add_option("--ffs", R.Ffs.Path, "write the FFS file here");
  App.add_option("--fv", R.Fv.Path, "write the volume here");
  App.add_option("--depex-file", R.DepexFile.Path, "write the dependency expression alone here");
  App.footer("Numbers are decimal, or hex behind 0x. Exit status: 0 done; 2 bad input; 3 an "
             "output could not be written.");
}

// The file's name, its user-interface name and its version section, refused with a reason.
package::PeimSpec CheckedPeim(const Request& R) {
  using package::tool::Refuse;
  const std::optional<package::Guid> fileName = package::Guid::Parse(R.Guid);
  if (!fileName) {
    Refuse("--guid " + tools::Printable(R.Guid) + " is not a GUID (8-4-4-4-12 hex digits)");
  }
  try {
    package::UserInterfaceData(R.Name);
  } catch (const package::FormatError& error) {
    Refuse(std::string("--name: ") + error.what());
  }
  std::optional<package::ModuleVersion> moduleVersion;
  if (!R.Version.empty()) {
    moduleVersion = package::ModuleVersion{R.BuildNumber, R.Version};
    try {
      package::VersionData(*moduleVersion);
    } catch (const package::FormatError& error) {
      Refuse(std::string("--module-version: ") + error.what());
    }
  }
  return {*fileName, R.Name,
          R.Depex == "always" ? package::DepexAlways()
                              : package::DepexAfterPpi(package::PermanentMemoryInstalledPpi),
          R.Code == "te" ? package::CodeForm::Te : package::CodeForm::Pe32, moduleVersion};
}

// The volume's size and the address it runs at, refused with a reason.
std::pair<package::VolumeSpec, uint32_t> CheckedVolume(const Request& R) {
  using package::tool::Refuse;
  const package::VolumeSpec volume{
      .Size = package::tool::NumberOption(R.Size, "--fv-size", AddressMax)};
  if (volume.Size % volume.BlockSize != 0 || volume.Size < package::VolumeHeaderSize) {
    Refuse("--fv-size " + R.Size + " is not a whole number of " + std::to_string(volume.BlockSize) +
           "-byte blocks");
  }
  const auto base =
      static_cast<uint32_t>(package::tool::NumberOption(R.Base, "--fv-base", AddressMax));
  try {
    package::CheckVolumeAddress(base, volume.Size, volume.Attributes);
  } catch (const package::FormatError& error) {
    Refuse("--fv-base " + R.Base + ": " + error.what());
  }
  return {volume, base};
}

void Package(Request& R) {
  std::vector<files::NamedFile> outputs;
  for (const Output* out : R.Outputs()) {
    if (!out->Path.empty()) {
      outputs.push_back({out->Path, out->What});
    }
  }
  files::RefuseSharedFiles({{R.Pe, "PE32 image"}}, outputs);
  const package::PeimSpec wanted = CheckedPeim(R);
  const auto [volume, volumeBase] = CheckedVolume(R);
  for (Output* out : R.Outputs()) {
    if (!out->Path.empty()) {
      out->File = std::make_unique<files::OutputFile>(out->Path, out->What);
    }
  }
  const std::vector<uint8_t> image =
      package::tool::ReadInputFile(R.Pe, package::MaxImageSize, "a module's image");
  std::vector<uint8_t> teImage, ffsFile, fvImage;
  try {
    const package::FileSpec file = package::PeimFile(wanted, image);
    teImage = package::ConvertPeToTe(image);
    ffsFile = package::BuildFile(file);
    fvImage = package::BuildVolumeInPlace({&file, 1}, volume, volumeBase);
    package::ParseVolume(fvImage); // what we ship must read back
  } catch (const package::FormatError& error) {
    package::tool::Refuse(tools::Printable(R.Pe) + ": " + error.what());
  }
  Write(R.Te, teImage);
  Write(R.Ffs, ffsFile);
  Write(R.Fv, fvImage);
  Write(R.DepexFile, wanted.Depex);
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Derives the TE image, the FFS file and a firmware volume from a module's PE32"};
  Request request;
  AddOptions(app, request);
  return package::tool::RunTool(app, argc, argv, [&] { Package(request); });
}

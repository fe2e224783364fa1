#include "emu/PeImage.h"

#include "common/files/InputFile.h"
#include "emu/AddressMap.h"
#include "package/Bytes.h"
#include "package/Forms.h"

namespace emu {

PeImage ParsePe(std::span<const uint8_t> File) {
  try {
    return package::LoadPe32(File);
  } catch (const package::FormatError& error) {
    throw ImageError(error.what());
  }
}

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  try {
    return files::ReadInput(Path, MaxModuleFileSize, "a module's file");
  } catch (const files::InputError& error) {
    throw ImageError(error.what());
  }
}

PeImage ReadPeFile(const std::string& Path) {
  return ParsePe(ReadFileBytes(Path));
}

PeImage LoadModule(std::span<const uint8_t> File) {
  try {
    const package::ModuleCode code = package::FindModuleCode(File);
    PeImage image = package::LoadImage(code.Type, code.Image);
    image.InPlace = code.Shape == package::Form::Volume && image.ImageBase != 0;
    CheckPlacement(image);
    return image;
  } catch (const package::FormatError& error) {
    throw ImageError(error.what());
  }
}

PeImage ReadModuleFile(const std::string& Path) {
  return LoadModule(ReadFileBytes(Path));
}

std::vector<uint8_t> RelocatedMemory(const PeImage& Image, uint32_t Base) {
  std::vector<uint8_t> memory = Image.Memory;
  const uint32_t delta = Base - Image.ImageBase;
  for (uint32_t at : Image.Fixups) {
    package::Put32(memory, at, package::Get32(memory, at) + delta);
  }
  return memory;
}

} // namespace emu

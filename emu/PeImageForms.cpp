#include "emu/Machine.h"
#include "emu/PeImage.h"
#include "package/Bytes.h"
#include "package/Forms.h"
#include "package/Te.h"

#include <algorithm>

namespace emu {

namespace {

// The TE image as the PE32 it came from would lie in memory: what precedes the TE header stays
// zero, the rest of the file goes where its section headers say.
PeImage FromTe(std::span<const uint8_t> File) {
  const package::TeImage te = package::ParseTe(File);
  if (te.Machine != MachineI386) {
    throw ImageError("machine " + package::Hex(te.Machine) + " is not i386 (0x14C)");
  }
  PeImage image;
  image.Machine = te.Machine;
  image.Magic = MagicPe32;
  image.Subsystem = te.Subsystem;
  image.ImageBase = static_cast<uint32_t>(te.ImageBase);
  image.AddressOfEntryPoint = te.AddressOfEntryPoint;
  image.BaseRelocationTable = {te.BaseRelocation.Rva, te.BaseRelocation.Size};
  const uint32_t headersEnd = te.StrippedSize + 40 * static_cast<uint32_t>(te.Sections.size());
  uint64_t size = headersEnd;
  for (const package::ImageSection& s : te.Sections) {
    size = std::max<uint64_t>(size, uint64_t{s.VirtualAddress} +
                                        std::max(s.VirtualSize, s.SizeOfRawData));
  }
  if (size > MaxImageSize) {
    throw ImageError("image size " + package::Hex(size) + " is larger than the " +
                     package::Hex(MaxImageSize) + " bytes the runner maps");
  }
  image.SizeOfImage = static_cast<uint32_t>(size);
  image.SizeOfHeaders = headersEnd;
  image.Memory.assign(image.SizeOfImage, 0);
  std::copy_n(File.begin(), headersEnd - te.StrippedBytes(),
              image.Memory.begin() + te.StrippedBytes());
  for (const package::ImageSection& s : te.Sections) {
    const uint32_t inMemory = s.VirtualSize != 0 ? s.VirtualSize : s.SizeOfRawData;
    if (s.SizeOfRawData != 0) { // ParseTe placed the data inside the file
      std::copy_n(File.begin() + (s.PointerToRawData - te.StrippedBytes()),
                  std::min(inMemory, s.SizeOfRawData), image.Memory.begin() + s.VirtualAddress);
    }
    image.Sections.push_back({s.Name, s.VirtualAddress, s.VirtualSize,
                              s.PointerToRawData - te.StrippedBytes(), s.SizeOfRawData, 0});
  }
  for (uint32_t fixup : te.Fixups) {
    if (uint64_t{fixup} + 4 > image.SizeOfImage) {
      throw ImageError("relocation at RVA " + package::Hex(fixup) + " points outside the image");
    }
  }
  image.Fixups = te.Fixups;
  if (image.AddressOfEntryPoint == 0 || image.AddressOfEntryPoint >= image.SizeOfImage) {
    throw ImageError("entry point " + package::Hex(image.AddressOfEntryPoint) +
                     " lies outside the image");
  }
  return image;
}

} // namespace

PeImage LoadModule(std::span<const uint8_t> File) {
  try {
    const package::ModuleCode code = package::FindModuleCode(File);
    PeImage image =
        code.Type == package::SectionType::Te ? FromTe(code.Image) : ParsePe(code.Image);
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

} // namespace emu

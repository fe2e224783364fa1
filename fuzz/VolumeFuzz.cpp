// The firmware volume reader, and the search for the module's code that the image runner makes
// in any of the four forms, on arbitrary bytes: each gives its answer or one FormatError. A
// volume it accepts lies inside the input, and so do its files, in order.
#include "package/Bytes.h"
#include "package/Forms.h"
#include "package/Volume.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::span<const uint8_t> input(Data, Size);
  try {
    const package::ParsedVolume volume = package::ParseVolume(input);
    if (volume.Length > Size || volume.FreeSpaceOffset > volume.Length) {
      std::abort();
    }
    uint64_t end = volume.HeaderLength;
    for (const auto& file : volume.Files) {
      if (file.Offset < end || uint64_t{file.Offset} + file.File.Size > volume.FreeSpaceOffset) {
        std::abort();
      }
      end = uint64_t{file.Offset} + file.File.Size;
    }
  } catch (const package::FormatError&) {
  }
  try {
    const package::ModuleCode code = package::FindModuleCode(input);
    if (code.Image.size() > Size) {
      std::abort();
    }
  } catch (const package::FormatError&) {
  }
  return 0;
}

// The TE reader on arbitrary bytes: a TE image, or one FormatError. What it accepts must hold
// together: every section's data inside the file once the stripped bytes are accounted for.
#include "package/Bytes.h"
#include "package/Te.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  package::TeImage image;
  try {
    image = package::ParseTe(std::span<const uint8_t>(Data, Size));
  } catch (const package::FormatError&) {
    return 0;
  }
  for (const auto& section : image.Sections) {
    const uint64_t start = uint64_t{section.PointerToRawData};
    if (section.SizeOfRawData != 0 &&
        (start < image.StrippedBytes() ||
         start - image.StrippedBytes() + section.SizeOfRawData > Size)) {
      std::abort();
    }
  }
  return 0;
}

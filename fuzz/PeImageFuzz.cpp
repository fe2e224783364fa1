// The image loader on arbitrary bytes, as the runner reads a module in any form it ships in (PE32,
// TE, FFS file, firmware volume): an image it can map, or one ImageError. What it accepts must hold
// together: the memory is SizeOfImage bytes, every fixup lies inside it, and relocating to another
// base keeps the size.
#include "emu/PeImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  emu::PeImage image;
  try {
    image = emu::LoadModule(std::span<const uint8_t>(Data, Size));
  } catch (const emu::ImageError&) {
    return 0;
  }
  if (image.Memory.size() != image.SizeOfImage || image.SizeOfImage > package::MaxImageSize) {
    std::abort();
  }
  for (const uint32_t fixup : image.Fixups) {
    if (uint64_t{fixup} + 4 > image.Memory.size()) {
      std::abort();
    }
  }
  if (emu::RelocatedMemory(image, image.ImageBase + 0x10000).size() != image.Memory.size()) {
    std::abort();
  }
  return 0;
}

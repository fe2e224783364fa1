#include "emu/AddressMap.h"

#include "common/Format.h"

namespace emu {

void CheckPlacement(const PeImage& Image) {
  const uint64_t end = uint64_t{Image.ImageBase} + Image.SizeOfImage;
  if (Image.InPlace && (Image.ImageBase < PageSize || end > BoardMemoryBase ||
                        (Image.ImageBase < StackBase + StackSize && end > HandoffBase))) {
    throw ImageError("the module runs in place at " + tools::Hex(Image.ImageBase, 8) + "+" +
                     tools::Hex(Image.SizeOfImage, 8) +
                     ", which is not free memory in the runner (page 0, the hand-off memory and "
                     "stack at " +
                     tools::Hex(HandoffBase, 8) + "-" + tools::Hex(StackBase + StackSize, 8) +
                     " and the board's space from " + tools::Hex(BoardMemoryBase, 8) + " are not)");
  }
}

} // namespace emu

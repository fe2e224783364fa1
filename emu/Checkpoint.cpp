#include "emu/Checkpoint.h"

#include "sim/SocState.h"

namespace emu {

size_t Checkpoint::Bytes() const {
  return sizeof(Checkpoint) + CpuBytes + Pages.size() * sizeof(SavedPage) + sim::Bytes(Board);
}

} // namespace emu

// Built into a probe image for the division helper's test: on this target the compiler turns
// the `/` below into a call to __aulldiv, exactly as it does in the module. The division is
// called through a constant pointer, so that the probe, like the module, has an address a loader
// must relocate (a loader refuses to move an image without base relocations).
#include <stdint.h>

namespace {

uint64_t Divide(uint64_t Dividend, uint64_t Divisor) {
  return Dividend / Divisor;
}

} // namespace

extern "C" uint64_t DivideProbe(uint64_t Dividend, uint64_t Divisor) {
  static uint64_t (*const volatile divide)(uint64_t, uint64_t) = Divide;
  return divide(Dividend, Divisor);
}

// Built into a probe image for the division helper's test: on this target the compiler turns
// the `/` below into a call to __aulldiv, exactly as it does in the module.
#include <stdint.h>

extern "C" uint64_t DivideProbe(uint64_t Dividend, uint64_t Divisor) {
  return Dividend / Divisor;
}

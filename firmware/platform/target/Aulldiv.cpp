// The helper the compiler calls behind the module's back on this target when code divides 64-bit
// values: a 64-bit unsigned `/` becomes a call to __aulldiv. The module itself divides in 32-bit
// steps, so the linker leaves this out of its image unless that changes. Its convention is the
// Microsoft one: dividend then divisor on the stack as two 64-bit values, quotient in EDX:EAX,
// and the callee pops the 16 argument bytes.
// Nothing here may itself divide 64-bit values, or it would call itself.
#include <stdint.h>

namespace {

// One `div`: (High:Low) / Divisor, where High < Divisor so that the quotient fits 32 bits.
uint32_t DivideNarrow(uint32_t High, uint32_t Low, uint32_t Divisor, uint32_t* Remainder) {
  uint32_t quotient;
  uint32_t remainder;
  __asm__("divl %4" : "=a"(quotient), "=d"(remainder) : "a"(Low), "d"(High), "rm"(Divisor));
  *Remainder = remainder;
  return quotient;
}

} // namespace

extern "C" uint64_t UnsignedDivide64(uint64_t Dividend, uint64_t Divisor) {
  const uint32_t dividendHigh = static_cast<uint32_t>(Dividend >> 32);
  const uint32_t dividendLow = static_cast<uint32_t>(Dividend);
  const uint32_t divisorHigh = static_cast<uint32_t>(Divisor >> 32);
  const uint32_t divisorLow = static_cast<uint32_t>(Divisor);

  if (divisorHigh == 0) {
    // Long division in two 32-bit digits.
    const uint32_t quotientHigh = dividendHigh / divisorLow;
    uint32_t remainder = dividendHigh % divisorLow;
    const uint32_t quotientLow = DivideNarrow(remainder, dividendLow, divisorLow, &remainder);
    return (static_cast<uint64_t>(quotientHigh) << 32) | quotientLow;
  }

  // The divisor has more than 32 bits, so the quotient has fewer than 32. Shifting both
  // operands right until the divisor fits 32 bits gives an estimate that is exact or one too
  // large; the product tells which.
  const int shift = 32 - __builtin_clz(divisorHigh);
  const uint32_t narrowDivisor = static_cast<uint32_t>(Divisor >> shift);
  const uint64_t narrowDividend = Dividend >> shift;
  uint32_t unused;
  uint32_t quotient = DivideNarrow(static_cast<uint32_t>(narrowDividend >> 32),
                                   static_cast<uint32_t>(narrowDividend), narrowDivisor, &unused);

  // quotient * Divisor as 96 bits: productHigh:productLow, with productLow the low 32 bits.
  const uint64_t lowPart = static_cast<uint64_t>(quotient) * divisorLow;
  const uint64_t productHigh = static_cast<uint64_t>(quotient) * divisorHigh + (lowPart >> 32);
  const uint32_t productLow = static_cast<uint32_t>(lowPart);
  if (productHigh > dividendHigh || (productHigh == dividendHigh && productLow > dividendLow)) {
    --quotient;
  }
  return quotient;
}

// Reorders the Microsoft-convention arguments for the cdecl routine above, then pops them.
extern "C" __attribute__((naked)) void _aulldiv() {
  __asm__("pushl 16(%%esp)\n\t" // divisor, high half
          "pushl 16(%%esp)\n\t" // divisor, low half
          "pushl 16(%%esp)\n\t" // dividend, high half
          "pushl 16(%%esp)\n\t" // dividend, low half
          "calll %P0\n\t"
          "addl $16, %%esp\n\t"
          "retl $16"
          :
          : "i"(UnsignedDivide64));
}

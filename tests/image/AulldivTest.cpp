// The module's 64-bit division helper, run in the emulated CPU through a probe image whose only
// function divides: the compiler's call, the helper's argument order, its result in EDX:EAX and
// the 16 bytes it pops all have to agree for these quotients to come out right.
#include "emu/ImageRun.h"
#include "emu/LinkerMap.h"
#include "emu/Machine.h"

#include <gtest/gtest.h>

namespace {

TEST(AulldivTest, QuotientsMatchTheHostsDivision) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_DIVIDE_PROBE_IMAGE);
  ASSERT_TRUE(emu::ReadLinkerMap(BOARDINIT_DIVIDE_PROBE_MAP).FindSymbol("__aulldiv"))
      << "the probe no longer calls the helper";
  sim::Board board;
  emu::Machine machine(image, board, emu::EmptyHobList(), 10000);

  struct Case {
    uint64_t Dividend;
    uint64_t Divisor;
  };
  const Case cases[] = {
      {0, 1},
      {7, 7},
      {6, 7},
      {0xFFFFFFFFFFFFFFFF, 1},
      {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFF},
      {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
      {0xFFFFFFFFFFFFFFFE, 0xFFFFFFFFFFFFFFFF},
      {0x0000000100000000, 0x0000000100000000},
      {0x00000000FFFFFFFF, 0x0000000100000000},
      {100'000'000ull * 3579545, 1'000'000},    // the delay's own use
      {0xFFFFFFFFull * 3579545, 1'000'000},     // the delay's largest
      {0x8000000000000000, 0x8000000000000001}, // divisor with its top bit set
      {0xFFFFFFFF00000000, 0x00000001FFFFFFFF}, // estimate one too large
      {0x123456789ABCDEF0, 0x0000000012345678}, // 33-bit quotient
      {0x123456789ABCDEF0, 0x0000000123456789}, // divisor just over 32 bits
      {0xFEDCBA9876543210, 0x00000FFFFFFFFFFF}, //
      {0xFFFFFFFFFFFFFFFF, 0x0000000080000001}, //
      {0x7FFFFFFFFFFFFFFF, 0x00000000FFFFFFFF}, //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.Dividend << " / " << c.Divisor);
    const uint32_t arguments[] = {
        static_cast<uint32_t>(c.Dividend), static_cast<uint32_t>(c.Dividend >> 32),
        static_cast<uint32_t>(c.Divisor), static_cast<uint32_t>(c.Divisor >> 32)};
    const emu::CallResult result = machine.Call(image.AddressOfEntryPoint, arguments);
    ASSERT_TRUE(result.Returned) << result.Failure;
    EXPECT_EQ(uint64_t{result.Edx} << 32 | result.Eax, c.Dividend / c.Divisor);
    EXPECT_EQ(result.StackPopped, 0u); // the probe is cdecl: its caller pops
  }
}

} // namespace

#include "common/Format.h"
#include "common/Digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace {

// Each formatter at the edges that differ: padding against a longer value, odd digit counts made
// even, zero, the full 64 bits, and times that round down within the microsecond.
TEST(Format, WritesNumbersAsEveryToolReadsThem) {
  struct Case {
    std::function<std::string()> Written;
    const char* Expected;
  };
  const Case cases[] = {
      {[] { return tools::Hex(0x85, 4); }, "0x0085"},
      {[] { return tools::Hex(0xFED0C5D8, 8); }, "0xFED0C5D8"},
      {[] { return tools::Hex(0x1F4); }, "0x1F4"},
      {[] { return tools::Hex(0x12345, 2); }, "0x12345"},
      {[] { return tools::Hex(0); }, "0x0"},
      {[] { return tools::Hex(UINT64_MAX); }, "0xFFFFFFFFFFFFFFFF"},
      {[] { return tools::HexBytes(0x34); }, "0x34"},
      {[] { return tools::HexBytes(0x100); }, "0x0100"},
      {[] { return tools::HexBytes(0); }, "0x00"},
      {[] { return tools::HexDigits(0xABC); }, "abc"},
      {[] { return tools::HexDigits(0); }, "0"},
      {[] { return tools::Milliseconds(100'398'999); }, "100.398 ms"},
      {[] { return tools::Milliseconds(0); }, "0.000 ms"},
      {[] { return tools::Milliseconds(5'000); }, "0.005 ms"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.Written(), c.Expected);
  }
}

// Known answers of SHA-256: the empty input and "abc".
TEST(Digest, Sha256HexGivesTheKnownAnswers) {
  EXPECT_EQ(tools::Sha256Hex("", 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(tools::Sha256Hex("abc", 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace

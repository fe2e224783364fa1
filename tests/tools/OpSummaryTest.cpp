#include "tools/boardsim/render/OpSummary.h"

#include <gtest/gtest.h>

namespace {

using tools::SlotReturn;

// A call and its result as a C programmer reads them: statuses by name, BOOLEAN as exactly 1 or 0.
TEST(OpSummary, CallsAndResultsReadAsTheirCTypes) {
  const std::pair<std::string, std::string> cases[] = {
      {boardsim::FormatReturned(SlotReturn::Status, 0x80000002), "EFI_INVALID_PARAMETER"},
      {boardsim::FormatReturned(SlotReturn::Status, 0x80000099), "status 0x80000099"},
      {boardsim::FormatReturned(SlotReturn::Boolean, 1), "1 (TRUE)"},
      {boardsim::FormatReturned(SlotReturn::Boolean, 0), "0 (FALSE)"},
      {boardsim::FormatReturned(SlotReturn::Boolean, 2), "0x02 (not a BOOLEAN)"},
      {boardsim::FormatReturned(SlotReturn::Byte, 0xFF), "0xFF"},
      {boardsim::FormatReturned(SlotReturn::Millivolts, 4590), "4590 mV"},
      {boardsim::FormatCall({1, {0x30, 0x85}}), "WriteRegister(0x30, 0x85)"},
      {boardsim::FormatCall({5, {}}), "GetIdentity(&Id, &Revision)"},
      {boardsim::FormatCall({11, {}, true}), "GetStatus1(NULL)"},
      {boardsim::FormatCall({4, {}}), "Detect()"},
  };
  for (const auto& [formatted, expected] : cases) {
    EXPECT_EQ(formatted, expected);
  }
}

} // namespace

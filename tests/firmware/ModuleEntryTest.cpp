#include "entry/ModuleEntry.h"
#include "support/BoardFixture.h"

#include <csignal>

using namespace testsupport;

namespace {

constexpr uint32_t AcpiBase = 0xE00F8040;
const uint32_t EarlyPads[] = {0xFED0C210, 0xFED0C200, 0xFED0C1F0, 0xFED0C1E0, 0xFED0C1D0,
                              0xFED0C1B0, 0xFED0C190, 0xFED0C1C0, 0xFED0C1A0, 0xFED0C170};

class ModuleEntryTest : public BoardTest {};

TEST_F(ModuleEntryTest, OpensTheAcpiWindowOnlyWhenItsBitIsClear) {
  struct Case {
    uint16_t AcpiBaseBefore;
    bool Written;
  };
  // Bit 1 set means "already decoded", whatever the other bits hold.
  for (const Case c :
       {Case{0x0000, true}, Case{0x00FD, true}, Case{0x0402, false}, Case{0x047E, false}}) {
    SCOPED_TRACE(c.AcpiBaseBefore);
    Config.AcpiBase = c.AcpiBaseBefore;
    Install();
    EXPECT_EQ(ModuleEntry(nullptr, nullptr), EFI_SUCCESS);

    std::vector<Expected> expected = {R8(AcpiBase, c.AcpiBaseBefore & 0xFF)};
    if (c.Written) {
      expected.push_back(W16(AcpiBase, 0x0402));
    }
    for (uint32_t pad : EarlyPads) {
      expected.push_back(W32(pad, 0x2003CC81));
    }
    // The GPIO pass starts right after the early pads.
    expected.push_back(Out32(0x500, 0));
    EXPECT_EQ(Trace(0, expected.size()), expected);
  }
}

// A harness that forgets the board must not look like the module crashing: the run ends by an
// abort, with a message, before anything goes through the missing board.
TEST(ModuleEntryDeathTest, RunningWithNoBoardInstalledEndsWithAMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ModuleEntry(nullptr, nullptr), ::testing::KilledBySignal(SIGABRT),
              "register access with no board installed");
}

} // namespace

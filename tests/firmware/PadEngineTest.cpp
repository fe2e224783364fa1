#include "gpio/PadEngine.h"
#include "support/BoardFixture.h"

#include <cstring>

using namespace testsupport;

namespace {

// A pad of community 0x1000 with known, busy register contents.
constexpr uint32_t PadIndex = 7;
constexpr uint32_t ValueAddress = 0xFED0D078;
constexpr uint32_t ConfigAddress = 0xFED0D070;
constexpr uint32_t ValueBefore = 0xAAAA5555;  // level 1, direction bits 2:1 = 2
constexpr uint32_t ConfigBefore = 0x0F040785; // mode 5, bits 7-10 set, nibble 0xF

struct MergeCase {
  const char* Name;
  PadConfigEntry Entry;
  uint32_t ValueWritten;
  uint32_t ConfigWritten;
};

// Expected words worked out by hand from the register layout, not from the engine.
const MergeCase MergeCases[] = {
    {"pull 0", Pad(PadIndex, 2, PadKeep, 0, 0, 0), 0xAAAA5553, 0x00040480},
    {"pull 1", Pad(PadIndex, 2, PadKeep, 0, 0, 1), 0xAAAA5553, 0x00040500},
    {"pull 2", Pad(PadIndex, 2, PadKeep, 0, 0, 2), 0xAAAA5553, 0x00040280},
    {"pull 3", Pad(PadIndex, 2, PadKeep, 0, 0, 3), 0xAAAA5553, 0x00040300},
    {"pull 4", Pad(PadIndex, 2, PadKeep, 0, 0, 4), 0xAAAA5553, 0x00040080},
    {"pull 5", Pad(PadIndex, 2, PadKeep, 0, 0, 5), 0xAAAA5553, 0x00040100},
    {"pull 6 keeps 9 and 10", Pad(PadIndex, 2, PadKeep, 0, 0, 6), 0xAAAA5553, 0x00040600},
    {"pull 7 keeps 7 to 10", Pad(PadIndex, 2, PadKeep, 0, 0, 7), 0xAAAA5553, 0x00040780},
    {"pull 0xFF keeps 7 to 10", Pad(PadIndex, 2, PadKeep, 0, 0, 0xFF), 0xAAAA5553, 0x00040780},
    {"direction 0 level 1", Pad(PadIndex, 0, 1, 0, 0, 3), 0xAAAA5551, 0x00040600},
    {"direction 0 level 0", Pad(PadIndex, 0, 0, 0, 0, 0), 0xAAAA5550, 0x00040600},
    {"direction 0 level kept", Pad(PadIndex, 0, PadKeep, 0, 0, 1), 0xAAAA5551, 0x00040600},
    {"direction 2 ignores level", Pad(PadIndex, 2, 0, 0, 0, 7), 0xAAAA5553, 0x00040780},
    {"direction 6 ignores level", Pad(PadIndex, 6, 0, 0, 0, 7), 0xAAAA5557, 0x00040780},
    {"direction 7 takes bits 1-2", Pad(PadIndex, 7, 0, 0, 0, 4), 0xAAAA5557, 0x00040080},
    {"direction 0xFF writes back", Pad(PadIndex, PadKeep, 0, 0, 0, 1), 0xAAAA5555, 0x00040500},
    {"mode 9 gives 1", Pad(PadIndex, 2, PadKeep, 9, 0, 7), 0xAAAA5553, 0x00040781},
    {"mode 2", Pad(PadIndex, 2, PadKeep, 2, 0, 7), 0xAAAA5553, 0x00040782},
    {"nibble 0x12 gives 2", Pad(PadIndex, 2, PadKeep, 0, 0x12, 7), 0xAAAA5553, 0x02040780},
    {"nibble 0x10 clears", Pad(PadIndex, 2, PadKeep, 0, 0x10, 7), 0xAAAA5553, 0x00040780},
    {"nibble 6", Pad(PadIndex, 2, PadKeep, 0, 6, 7), 0xAAAA5553, 0x06040780},
};

class PadEngineTest : public BoardTest {};

// Other modules exchange rows as 21 packed little-endian bytes, and "keep" is 0xFF on the wire:
// a module that used another value for it would misread every row it did not build itself.
TEST(PadConfigEntryTest, IsTwentyOnePackedLittleEndianBytesWithKeepAs0xFF) {
  const PadConfigEntry entry = Pad(0x5A, 0x01020304, PadKeep, 0x11121314, 0x21222324, 0x31323334);
  std::vector<uint8_t> bytes(sizeof entry);
  std::memcpy(bytes.data(), &entry, sizeof entry);
  EXPECT_EQ(bytes,
            (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x14, 0x13, 0x12,
                                  0x11, 0x24, 0x23, 0x22, 0x21, 0x34, 0x33, 0x32, 0x31, 0x5A}));
}

TEST_F(PadEngineTest, MergesEachFieldIntoItsBitsOnly) {
  for (const MergeCase& c : MergeCases) {
    SCOPED_TRACE(c.Name);
    sim::Soc& board = Install();
    board.Gpio.Preset(ValueAddress - sim::GpioBlockBase, ValueBefore);
    board.Gpio.Preset(ConfigAddress - sim::GpioBlockBase, ConfigBefore);
    ProgramPadTable(1, &c.Entry, 0x1000);
    EXPECT_EQ(Trace(), (std::vector<Expected>{
                           R32(ValueAddress, ValueBefore),
                           W32(ValueAddress, c.ValueWritten),
                           R32(ConfigAddress, ConfigBefore),
                           W32(ConfigAddress, c.ConfigWritten),
                       }));
  }
}

TEST_F(PadEngineTest, CountZeroTouchesNothing) {
  Install();
  const PadConfigEntry entry = Pad(1, 0, 1, 1, 1, 1);
  ProgramPadTable(0, &entry, 0x0000);
  EXPECT_TRUE(Trace().empty());
}

TEST_F(PadEngineTest, PadIndex255AddressesTheLastSlotOfTheCommunity) {
  Install();
  const PadConfigEntry entry = Pad(255, PadKeep, PadKeep, 1, 0, 7);
  ProgramPadTable(1, &entry, 0x2000);
  const auto trace = Trace();
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[0].Address, 0xFED0EFF8u);
  EXPECT_EQ(trace[1].Address, 0xFED0EFF8u);
  EXPECT_EQ(trace[2].Address, 0xFED0EFF0u);
  EXPECT_EQ(trace[3].Address, 0xFED0EFF0u);
}

TEST_F(PadEngineTest, AllOnesIsReadAgainAtMostFiveTimes) {
  constexpr uint32_t Ones = 0xFFFFFFFF;
  // Direction 0, level 1, mode 9, nibble 0x12, pull 3.
  const PadConfigEntry entry = Pad(PadIndex, 0, 1, 9, 0x12, 3);

  // Once all ones, then an answer: the answer is used after a single re-read.
  Config.PadFaults = {{ValueAddress, 1}};
  sim::Soc& once = Install();
  once.Gpio.Preset(ValueAddress - sim::GpioBlockBase, ValueBefore);
  once.Gpio.Preset(ConfigAddress - sim::GpioBlockBase, ConfigBefore);
  ProgramPadTable(1, &entry, 0x1000);
  EXPECT_EQ(Trace(), (std::vector<Expected>{
                         R32(ValueAddress, Ones),
                         R32(ValueAddress, ValueBefore),
                         W32(ValueAddress, 0xAAAA5551),
                         R32(ConfigAddress, ConfigBefore),
                         W32(ConfigAddress, 0x02040601),
                     }));

  // Seven failing reads: six are made, and the register that never answered is left unwritten
  // (a merge into all ones would set every bit the row does not own).
  Config.PadFaults = {{ConfigAddress, 7}};
  sim::Soc& stuck = Install();
  stuck.Gpio.Preset(ValueAddress - sim::GpioBlockBase, ValueBefore);
  ProgramPadTable(1, &entry, 0x1000);
  std::vector<Expected> expected = {R32(ValueAddress, ValueBefore), W32(ValueAddress, 0xAAAA5551)};
  expected.insert(expected.end(), 6, R32(ConfigAddress, Ones));
  EXPECT_EQ(Trace(), expected);
}

TEST_F(PadEngineTest, LegacyRegistersAreClearedInBankOrder) {
  sim::Soc& board = Install();
  EXPECT_EQ(ClearLegacyGpioRegisters(), EFI_SUCCESS);
  const uint32_t ports[] = {0x500, 0x508, 0x504, 0x50C, 0x510, 0x514, 0x520, 0x528, 0x524, 0x540,
                            0x548, 0x544, 0x580, 0x588, 0x584, 0x58C, 0x590, 0x594, 0x598};
  std::vector<Expected> expected;
  for (uint32_t port : ports) {
    expected.push_back(Out32(port, 0));
  }
  EXPECT_EQ(Trace(), expected);
  EXPECT_EQ(board.LegacyGpio.Peek(0x00), 0u);
}

} // namespace

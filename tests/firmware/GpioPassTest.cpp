#include "entry/ModuleEntry.h"
#include "gpio/PadEngine.h"
#include "gpio/PadTables.h"
#include "support/BoardFixture.h"
#include "support/CsvData.h"

#include <map>

using namespace testsupport;

namespace {

// Two starting states for every pad of the three communities, chosen so that every field a row
// keeps or changes shows in the result. A: level 1, direction bits set, mode 7, bits 7-10 set,
// nibble 0xF. B: level 0, direction bits clear, mode 4, bits 7-10 clear, nibble 8. The other bits
// differ between the two, so a bit the engine should keep but clobbers shows as well.
struct StartPattern {
  const char* Name;
  uint32_t Config;
  uint32_t Value;
};
constexpr StartPattern StartPatterns[] = {
    {"from pattern A", 0x5F5A5FDF, 0x5A5A5A5F},
    {"from pattern B", 0xA8A5A024, 0xA5A5A5A0},
};

// One row of board-pads.csv: where the row stands, its fields, and its pad's registers after the
// pass from each starting pattern.
struct PadReference {
  uint32_t Community;
  uint32_t Row;
  std::vector<uint32_t> Fields; // pad, direction, output level, mode, nibble, pull
  uint32_t Config[2];
  uint32_t Value[2];
};

std::vector<PadReference> LoadPadReference() {
  std::vector<PadReference> rows;
  // community, row, pad, five row fields, then configuration and value for A and for B.
  for (const std::vector<std::string>& cells : ReadCsv("firmware/board-pads.csv")) {
    PadReference row{Number(cells.at(0)), Number(cells.at(1)), {}, {}, {}};
    for (size_t field = 2; field < 8; ++field) {
      row.Fields.push_back(Number(cells.at(field)));
    }
    row.Config[0] = Number(cells.at(8));
    row.Value[0] = Number(cells.at(9));
    row.Config[1] = Number(cells.at(10));
    row.Value[1] = Number(cells.at(11));
    rows.push_back(row);
  }
  return rows;
}

class GpioPassTest : public BoardTest {
protected:
  uint32_t Config0000(uint32_t Pad) const { return soc->Gpio.Peek(sim::PadOffset(0, Pad)); }
};

constexpr size_t LegacyWrites = 19;
constexpr size_t TableAccesses = 174 * 4;

TEST_F(GpioPassTest, RunsFixedWritesAroundTheThreeTables) {
  Install();
  ASSERT_EQ(ConfigureSocGpio(), EFI_SUCCESS);
  const auto trace = Trace();
  // Legacy ports, pad 58, read-modify-write of pad 25's fourth word, tables, 11 late writes.
  ASSERT_EQ(trace.size(), LegacyWrites + 1 + 2 + TableAccesses + 11);

  EXPECT_EQ(trace[19], W32(0xFED0C3A0, 0x2003CC81));
  EXPECT_EQ(trace[20], R32(0xFED0D19C, 0x00000000));
  EXPECT_EQ(trace[21], W32(0xFED0D19C, 0x00000030));

  // Tables go 0x1000, 0x0000, 0x2000, each starting with its first row's value register.
  const size_t first1000 = 22, first0000 = first1000 + 27 * 4, first2000 = first0000 + 103 * 4;
  EXPECT_EQ(trace[first1000].Address, 0xFED0D138u); // pad 19
  EXPECT_EQ(trace[first0000].Address, 0xFED0C558u); // pad 85
  EXPECT_EQ(trace[first2000].Address, 0xFED0E1D8u); // pad 29

  // Every row: value read, value write, configuration read, configuration write, same pad.
  for (size_t i = first1000; i < first1000 + TableAccesses; i += 4) {
    SCOPED_TRACE(i);
    EXPECT_EQ(trace[i].Op, sim::AccessOp::Read);
    EXPECT_EQ(trace[i + 1].Op, sim::AccessOp::Write);
    EXPECT_EQ(trace[i + 1].Address, trace[i].Address);
    EXPECT_EQ(trace[i + 2].Op, sim::AccessOp::Read);
    EXPECT_EQ(trace[i + 2].Address, trace[i].Address - 8);
    EXPECT_EQ(trace[i + 3].Op, sim::AccessOp::Write);
    EXPECT_EQ(trace[i + 3].Address, trace[i + 2].Address);
  }

  const std::vector<Expected> late(trace.end() - 11, trace.end());
  EXPECT_EQ(late, (std::vector<Expected>{W32(0xFED0C3E0, 0x2003ED03), W32(0xFED0C390, 0x2003EC83),
                                         W32(0xFED0C3D0, 0x2003EC83), W32(0xFED0C400, 0x2003EC83),
                                         W32(0xFED0C3B0, 0x2003EC83), W32(0xFED0C360, 0x2003EC83),
                                         W32(0xFED0C380, 0x2003EC83), W32(0xFED0C3C0, 0x2003EC83),
                                         W32(0xFED0C370, 0x2003EC83), W32(0xFED0C3F0, 0x2003EC83),
                                         W32(0xFED0C330, 0x2003EC83)}));
}

// Pad 25's fourth word is a read-modify-write: one read, one write, no re-reads (those are the
// table rows'). A read of all ones did not answer, and is not written back with every bit set.
TEST_F(GpioPassTest, PadTwentyFivesFourthWordIsOneReadAndOneWrite) {
  constexpr uint32_t Word = 0xFED0D19C;
  struct Case {
    uint32_t Preset;
    uint32_t SilentReads;
    std::vector<Expected> Accesses;
  };
  const Case cases[] = {
      {0x00000000, 0, {R32(Word, 0x00000000), W32(Word, 0x00000030)}},
      {0x12345647, 0, {R32(Word, 0x12345647), W32(Word, 0x12345677)}},
      {0x00000000, 1, {R32(Word, 0xFFFFFFFF)}},
      {0x00000000, 6, {R32(Word, 0xFFFFFFFF)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Preset << "/" << c.SilentReads);
    Config.PadFaults.clear();
    if (c.SilentReads != 0) {
      Config.PadFaults.push_back({Word, c.SilentReads});
    }
    sim::Soc& board = Install();
    board.Gpio.Preset(Word - sim::GpioBlockBase, c.Preset);
    ASSERT_EQ(ConfigureSocGpio(), EFI_SUCCESS);
    std::vector<Expected> word;
    for (const Expected& access : Trace()) {
      if (access.Address == Word) {
        word.push_back(access);
      }
    }
    EXPECT_EQ(word, c.Accesses);
  }
}

TEST_F(GpioPassTest, LeavesTheBoardsFinalPadConfiguration) {
  Install();
  ASSERT_EQ(ModuleEntry(nullptr, nullptr), EFI_SUCCESS);

  // Pad 58: its row (mode 1, pull 0, nibble 0) merged into the fixed value written first.
  EXPECT_EQ(Config0000(58), 0x2003CC81u);
  EXPECT_EQ(Config0000(62), 0x2003ED03u);
  for (uint32_t pad : {51u, 54u, 55u, 56u, 57u, 59u, 60u, 61u, 63u, 64u}) {
    EXPECT_EQ(Config0000(pad), 0x2003EC83u) << "pad " << pad;
  }
  // An early pad, then its row: mode 1, pull 2 (bits 9 and 7), nibble 0.
  EXPECT_EQ(Config0000(33), 0x2003CA81u);
  // Pad 93, an input: direction 2, nibble 6, pull 1 over the reset value 0x20038000.
  EXPECT_EQ(soc->Gpio.Peek(sim::PadOffset(0, 93) + 8), 0x00000002u);
  EXPECT_EQ(Config0000(93), 0x26038500u);
  // Pad 18 of community 0x2000: an output with its level left as it was (0 out of reset).
  EXPECT_EQ(soc->Gpio.Peek(sim::PadOffset(2, 18) + 8), 0x00000000u);
  // Pad 9 of community 0x1000: output at level 1.
  EXPECT_EQ(soc->Gpio.Peek(sim::PadOffset(1, 9) + 8), 0x00000001u);
  // Unlisted pads keep their reset state.
  EXPECT_EQ(soc->Gpio.Peek(sim::PadOffset(1, 7)), sim::GpioConfigReset);
  EXPECT_EQ(Config0000(107), sim::GpioConfigReset);
}

// Every pad of the three communities after the pass, against the board's pad data kept beside
// this test: listed pads as the reference says, every other pad as it started. The rows themselves
// are compared too, since a field that a row's direction makes the engine ignore (the level of an
// input, the pull of an output) never shows in a register.
TEST_F(GpioPassTest, EveryPadEndsAsTheBoardsPadDataSays) {
  const std::vector<PadReference> reference = LoadPadReference();
  ASSERT_EQ(reference.size(), 174u);
  const std::map<uint32_t, std::pair<const PadConfigEntry*, uint32_t>> tables = {
      {0x0000, {PadTable0000, PadTable0000Count}},
      {0x1000, {PadTable1000, PadTable1000Count}},
      {0x2000, {PadTable2000, PadTable2000Count}}};
  for (const PadReference& pad : reference) {
    const auto& [rows, count] = tables.at(pad.Community);
    ASSERT_LT(pad.Row, count);
    const PadConfigEntry& row = rows[pad.Row];
    EXPECT_EQ((std::vector<uint32_t>{row.PadIndex, row.Direction, row.OutputLevel, row.Mode,
                                     row.ConfigNibble, row.Pull}),
              pad.Fields)
        << "row " << pad.Row << " of community 0x" << std::hex << pad.Community;
  }
  for (size_t start = 0; start < 2; ++start) {
    const StartPattern& pattern = StartPatterns[start];
    SCOPED_TRACE(pattern.Name);
    sim::Soc& board = Install();
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> expected; // pad offset -> config, value
    for (uint32_t offset = 0; offset < sim::GpioBlockSize; offset += sim::GpioPadSize) {
      board.Gpio.Preset(offset, pattern.Config);
      board.Gpio.Preset(offset + 8, pattern.Value);
      expected[offset] = {pattern.Config, pattern.Value};
    }
    for (const PadReference& pad : reference) {
      expected[pad.Community + pad.Fields[0] * sim::GpioPadSize] = {pad.Config[start],
                                                                    pad.Value[start]};
    }
    ASSERT_EQ(ConfigureSocGpio(), EFI_SUCCESS);
    for (const auto& [offset, registers] : expected) {
      const auto pad = [offset] {
        return ::testing::Message() << "pad " << offset % 0x1000 / sim::GpioPadSize
                                    << " of community 0x" << std::hex << offset / 0x1000 * 0x1000;
      };
      EXPECT_EQ(board.Gpio.Peek(offset), registers.first) << pad() << ", configuration";
      EXPECT_EQ(board.Gpio.Peek(offset + 8), registers.second) << pad() << ", value";
    }
  }
}

TEST_F(GpioPassTest, TableRowsDependedOnElsewhereAreWhereTheBootExpectsThem) {
  // Rows 78-87 of community 0x0000 follow the early pads in the same order.
  const uint8_t early[] = {33, 32, 31, 30, 29, 27, 25, 28, 26, 23};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(PadTable0000[78 + i].PadIndex, early[i]);
  }
  EXPECT_EQ(PadTable0000[38].PadIndex, 58);
  EXPECT_EQ(PadTable0000[2].PadIndex, 93);
  EXPECT_EQ(uint32_t{PadTable0000[2].Direction}, 2u); // packed: compare a copy
  EXPECT_EQ(PadTable1000[15].PadIndex, 1);
  EXPECT_EQ(PadTable1000[20].PadIndex, 3);
  EXPECT_EQ(PadTable2000[26].PadIndex, 22);
  EXPECT_EQ(uint32_t{PadTable2000[26].OutputLevel}, 1u);
  EXPECT_EQ(PadTable2000[1].PadIndex, 33);
}

} // namespace

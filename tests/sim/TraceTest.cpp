#include "sim/Board.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(Trace, LinesHaveTheStableTextForm) {
  sim::Board board;
  board.Read(sim::Space::Memory, 0xE00F8040, 8);
  board.Write(sim::Space::Memory, 0xE00F8040, 16, 0x0402);
  board.Write(sim::Space::Port, 0x500, 32, 0);
  board.Read(sim::Space::Port, 0x408, 32);
  board.Read(sim::Space::Memory, 0xFED0C5D8, 32);
  std::ostringstream text;
  board.GetTrace().WriteText(text);
  // Nothing is decoded on a bare board: reads return all ones at their width.
  EXPECT_EQ(text.str(), "# boardtrace 1\n"
                        "0 0 R 8 0xE00F8040 0xFF\n"
                        "1 200 W 16 0xE00F8040 0x0402\n"
                        "2 300 OUT 32 0x00000500 0x00000000\n"
                        "3 1300 IN 32 0x00000408 0xFFFFFFFF\n"
                        "4 2300 R 32 0xFED0C5D8 0xFFFFFFFF\n");
  EXPECT_EQ(board.Counts().at("unclaimed").Reads, 3u);
  EXPECT_EQ(board.Counts().at("unclaimed").Writes, 2u);

  std::vector<sim::Access> parsed;
  std::string error;
  ASSERT_TRUE(sim::ParseTrace(text.str(), parsed, error)) << error;
  EXPECT_EQ(parsed, board.GetTrace().Accesses());
}

struct FixedNames final : sim::SiteNames {
  std::string_view Name(uint32_t Eip) override { return Eip == 0x00800220 ? "Entry a.cpp:3" : ""; }
};

// Version 2 adds the instruction address and its note; readers take the address and skip the note.
TEST(Trace, SitesMakeVersionTwoAndReadBack) {
  sim::Board board;
  FixedNames names;
  board.GetTrace().WithSites(&names);
  board.GetTrace().SetSite(0x00800220);
  board.Read(sim::Space::Memory, 0xE00F8040, 8);
  board.GetTrace().SetSite(0x00800230);
  board.Write(sim::Space::Port, 0x500, 32, 0);
  std::ostringstream text;
  board.GetTrace().WriteText(text);
  EXPECT_EQ(text.str(), "# boardtrace 2\n"
                        "0 0 R 8 0xE00F8040 0xFF 0x00800220 Entry a.cpp:3\n"
                        "1 200 OUT 32 0x00000500 0x00000000 0x00800230\n");
  std::vector<sim::Access> parsed;
  std::string error;
  ASSERT_TRUE(sim::ParseTrace(text.str(), parsed, error)) << error;
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0].Eip, 0x00800220u);
  EXPECT_EQ(parsed[1].Eip, 0x00800230u);
}

TEST(Trace, MalformedLinesAreNamed) {
  const char* bad[] = {
      "0 0 R 8 0xE00F8040 0xFFF\n",                // value wider than the access
      "0 0 X 8 0xE00F8040 0xFF\n",                 // unknown op
      "0 0 R 12 0xE00F8040 0xFF\n",                // unknown width
      "0 0 R 8 0xe00f8040 0xFF\n",                 // lower-case hex
      "0 0 R 8 0xE00F8040\n",                      // missing field
      "0 0 R 8 0xE00F8040 0xFF 1\n",               // extra field
      "0 0 R 8 0xE00F8040 0xFF 0x801 f a.cpp:1\n", // instruction address not 8 digits
  };
  for (const char* line : bad) {
    std::vector<sim::Access> parsed;
    std::string error;
    EXPECT_FALSE(sim::ParseTrace(std::string("# boardtrace 1\n") + line, parsed, error)) << line;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  }
}

// Each budget ends a wait that never ends, on the access that exhausts it, and names itself.
TEST(Board, EveryBudgetStopsARunawayWaitAndSaysWhichRanOut) {
  struct Case {
    const char* Name;
    void (*Limit)(sim::Board&);
    sim::Space Polled;
    uint64_t Accesses; // made when it stops
    std::string Message;
  };
  const Case cases[] = {
      {"virtual time", [](sim::Board& B) { B.SetTimeBudget(2'000'000); }, sim::Space::Port, 2001,
       "time budget of 2 ms of virtual time exhausted"},
      {"accesses", [](sim::Board& B) { B.SetAccessBudget(3); }, sim::Space::Port, 3,
       "access budget of 3 exhausted"},
      {"kept accesses",
       [](sim::Board& B) {
         B.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
         B.SetKeptBudget(50);
       },
       sim::Space::Memory, 50,
       "kept-access budget of 50 accesses other than PM-timer reads exhausted (the run spins on "
       "registers)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    sim::Board board;
    c.Limit(board);
    std::string message;
    try {
      while (board.AccessCount() < 10'000) {
        board.Read(c.Polled, 0x408, 32);
      }
    } catch (const sim::BudgetExhausted& stuck) {
      message = stuck.what();
    }
    EXPECT_EQ(message, c.Message);
    EXPECT_EQ(board.AccessCount(), c.Accesses);
  }
}

} // namespace

#include "emu/GdbHistory.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace emu {
namespace {

// A checkpoint at instruction Position of the call, after Access accesses, at TimeNs.
Checkpoint At(uint64_t Position, uint64_t Access, uint64_t TimeNs) {
  Checkpoint c;
  c.Runner.Instructions = Position;
  c.Board.Trace.Count = Access;
  c.Board.TimeNs = TimeNs;
  return c;
}

// The call starts at access 100; checkpoints every 10 accesses after it, 1 ns per access.
GdbHistory Recorded(uint64_t MemoryBytes, int Taken) {
  GdbHistory history({.EveryAccesses = 10, .MemoryBytes = MemoryBytes});
  history.Begin(At(0, 100, 100));
  for (int i = 1; i <= Taken; ++i) {
    EXPECT_EQ(history.NextAccess(), history.On() ? 100u + 10 * i : ~uint64_t{0});
    history.Taken(At(1000 * i, 100 + 10 * i, 100 + 10 * i));
  }
  return history;
}

TEST(GdbHistoryTest, FindsTheCheckpointToGoBackFrom) {
  const GdbHistory history = Recorded(uint64_t{1} << 30, 3);
  struct Case {
    uint64_t Position; // for AtOrBefore and Backward
    uint64_t Access;   // for BeforeAccess
    uint64_t TimeNs;   // for BeforeTime: strictly before
    uint64_t Expected; // the checkpoint's position
    std::vector<uint64_t> Backward;
  };
  const Case cases[] = {
      {0, 100, 100, 0, {0}},
      {999, 109, 110, 0, {0}},
      {1000, 110, 111, 1000, {0}},
      {2500, 125, 125, 2000, {2000, 1000, 0}},
      {3000, 130, 131, 3000, {2000, 1000, 0}},
      {9000, 900, 900, 3000, {3000, 2000, 1000, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Position);
    EXPECT_EQ(history.AtOrBefore(c.Position).Runner.Instructions, c.Expected);
    EXPECT_EQ(history.BeforeAccess(c.Access).Runner.Instructions, c.Expected);
    EXPECT_EQ(history.BeforeTime(c.TimeNs).Runner.Instructions, c.Expected);
    std::vector<uint64_t> backward;
    for (const Checkpoint* checkpoint : history.Backward(c.Position)) {
      backward.push_back(checkpoint->Runner.Instructions);
    }
    EXPECT_EQ(backward, c.Backward);
  }
}

TEST(GdbHistoryTest, KeepsToItsBound) {
  const size_t each = At(0, 0, 0).Bytes();
  struct Case {
    uint64_t MemoryBytes;
    std::string Listing; // the first line of `monitor checkpoints`
    bool Told;
  };
  const Case cases[] = {
      {uint64_t{1} << 30, "6 checkpoints", false},
      {3 * each, "4 checkpoints", true}, // the start is kept beside the ring
      {0, "no checkpoints are kept", false},
  };
  for (const Case& c : cases) {
    GdbHistory history = Recorded(c.MemoryBytes, 5);
    EXPECT_TRUE(history.Describe().starts_with(c.Listing)) << history.Describe();
    EXPECT_EQ(history.TakeNote().has_value(), c.Told);
    EXPECT_FALSE(history.TakeNote()); // said once
  }
}

// Memory ran out taking a checkpoint: the older half goes, the ring stays below what it held, and
// the note says what ran out and which option bounds it. With nothing kept there is nothing to
// give back, and the failure goes on up.
TEST(GdbHistoryTest, GivesBackHalfWhenMemoryRunsOut) {
  GdbHistory history = Recorded(uint64_t{1} << 30, 6);
  ASSERT_TRUE(history.OutOfMemory());
  EXPECT_TRUE(history.Describe().starts_with("4 checkpoints")) << history.Describe();
  const std::optional<std::string> note = history.TakeNote();
  ASSERT_TRUE(note);
  EXPECT_NE(note->find("out of memory"), std::string::npos) << *note;
  EXPECT_NE(note->find("--checkpoint-memory"), std::string::npos) << *note;
  for (int i = 7; i <= 12; ++i) {
    history.Taken(At(1000 * i, 100 + 10 * i, 100 + 10 * i));
  }
  EXPECT_TRUE(history.Describe().starts_with("4 checkpoints")) << history.Describe();
  EXPECT_EQ(history.AtOrBefore(~uint64_t{0}).Runner.Instructions, 12000u);
  EXPECT_FALSE(Recorded(0, 3).OutOfMemory());
}

} // namespace
} // namespace emu

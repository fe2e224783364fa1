// The image runner is deterministic: a run restored from a checkpoint and run on makes the same
// accesses, with the same values at the same virtual times, as the straight run. Taking the
// checkpoints changes nothing of the run either.
#include "emu/ImageRun.h"
#include "emu/Timeline.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "support/BuiltInBoards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

constexpr size_t RestoredPoints = 20;

struct Straight {
  emu::RunResult Result;
  std::vector<sim::Access> Trace;
  uint64_t Pauses;
};

// The trace's text is its records, field by field: the records are compared, and the first one
// that differs is reported rather than two traces of a hundred thousand lines.
void ExpectSameTrace(const std::vector<sim::Access>& Got, const std::vector<sim::Access>& Want) {
  const auto [got, want] = std::mismatch(Got.begin(), Got.end(), Want.begin(), Want.end());
  EXPECT_TRUE(got == Got.end() && want == Want.end())
      << "first difference at access " << (got - Got.begin()) << ": "
      << (got == Got.end() ? "ends" : sim::FormatAccess(*got)) << " instead of "
      << (want == Want.end() ? "the end" : sim::FormatAccess(*want));
}

void ExpectSameRun(const emu::RunResult& Result, const sim::Board& Board, const Straight& Plain) {
  EXPECT_EQ(Result.Status, Plain.Result.Status);
  EXPECT_EQ(Result.Failure, Plain.Result.Failure);
  EXPECT_EQ(Result.StackUsed, Plain.Result.StackUsed);
  EXPECT_EQ(Board.Pauses(), Plain.Pauses);
  ExpectSameTrace(Board.GetTrace().Accesses(), Plain.Trace);
}

// Access numbers anywhere in a run of Count accesses, the same ones on every run of the test.
std::vector<uint64_t> RandomAccesses(uint64_t Count, uint64_t Seed) {
  std::mt19937_64 random(Seed);
  std::uniform_int_distribution<uint64_t> pick(0, Count - 1);
  std::vector<uint64_t> accesses(RestoredPoints);
  std::generate(accesses.begin(), accesses.end(), [&] { return pick(random); });
  return accesses;
}

TEST(DeterminismTest, ABootRestoredAnywhereRunsOnAsTheStraightRun) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_IMAGE);
  uint64_t seed = 25;
  for (const std::filesystem::path& file : testsupport::BuiltInBoardFiles()) {
    SCOPED_TRACE(file.filename().string());
    const sim::BoardConfig config = sim::LoadBoardFile(file.string());
    const emu::RunOptions options = emu::ImageRunOptions(config);
    sim::Soc plain(config);
    const Straight straight{emu::RunImage(image, plain.Bus, options),
                            plain.Bus.GetTrace().Accesses(), plain.Bus.Pauses()};

    sim::Soc recorded(config);
    emu::Machine machine(image, recorded.Bus, options.HobList, options.InstructionLimit, false,
                         options.StackBytes);
    emu::Timeline timeline(0, RandomAccesses(straight.Trace.size(), ++seed));
    machine.Record(&timeline);
    ExpectSameRun(emu::RunEntry(machine, image), recorded.Bus, straight);
    machine.Record(nullptr);
    timeline.Finish(recorded.Bus);
    // Two access numbers within one block share its checkpoint.
    EXPECT_GE(timeline.Marks().size(), RestoredPoints / 2);

    for (const emu::Checkpoint& mark : timeline.Marks()) {
      SCOPED_TRACE("restored at access " + std::to_string(mark.Access()));
      sim::Soc again(config);
      timeline.Replay(machine, mark, again.Bus);
      ExpectSameRun(emu::RunEntry(machine, image), again.Bus, straight);
    }
  }
}

} // namespace

// Checkpoints of the image runner: what one costs to take and to restore, and how big it is, on a
// boot of the default board; and fault points of that boot per second, each run from reset on a
// new CPU (as the sweep did) and from the last checkpoint of the fault-free run before the fault
// can strike on one CPU kept for all of them (as the sweep does now), side by side.
#include "bench/BenchInputs.h"
#include "emu/ImageRun.h"
#include "emu/Timeline.h"
#include "sim/HobWalk.h"
#include "sim/Soc.h"
#include "sim/faults/FaultKinds.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// A checkpoint every this many accesses: what the sweep takes.
constexpr uint64_t CheckpointEvery = 1024;
// Every this many fault points of the boot are run: a sample spread over every kind.
constexpr size_t PointStride = 16;

// A boot of the default board recorded with checkpoints, on a machine kept for the benchmark.
struct RecordedBoot {
  explicit RecordedBoot(const std::string& BoardName)
      : config(bench::BuiltInBoard(BoardName)), image(emu::ReadPeFile(bench::ImagePath())),
        options(emu::ImageRunOptions(config)), soc(config), timeline(CheckpointEvery) {
    soc.Bus.GetTrace().SetKeep(sim::TraceKeep::Changes);
    machine = std::make_unique<emu::Machine>(image, soc.Bus, options.HobList,
                                             options.InstructionLimit, false, options.StackBytes);
    machine->Record(&timeline);
    result = emu::RunEntry(*machine, image);
    machine->Record(nullptr);
    timeline.Finish(soc.Bus);
  }

  sim::BoardConfig config;
  emu::PeImage image;
  emu::RunOptions options;
  sim::Soc soc;
  emu::Timeline timeline;
  std::unique_ptr<emu::Machine> machine;
  emu::RunResult result;
};

const emu::Checkpoint& Middle(const emu::Timeline& T) {
  return T.Marks()[T.Marks().size() / 2];
}

// Taking one in the middle of the boot: the CPU, the RAM pages that differ from the start and
// the board's state, devices included.
void CheckpointTake(benchmark::State& State) {
  RecordedBoot boot("default");
  boot.machine->Restore(Middle(boot.timeline), &boot.timeline.Kept());
  size_t bytes = 0;
  for (auto _ : State) {
    const emu::Checkpoint taken = boot.machine->Save();
    bytes = taken.Bytes();
    benchmark::DoNotOptimize(bytes);
  }
  State.counters["bytes"] = static_cast<double>(bytes);
  State.counters["checkpoints/boot"] = static_cast<double>(boot.timeline.Marks().size());
  State.counters["boot MiB"] = static_cast<double>(boot.timeline.Bytes()) / (1 << 20);
}
BENCHMARK(CheckpointTake)->Unit(benchmark::kMicrosecond);

// Restoring, alternately, one early and one late in the boot, so that every restore changes RAM,
// the devices and the trace.
void CheckpointRestore(benchmark::State& State) {
  RecordedBoot boot("default");
  const emu::Checkpoint& early = boot.timeline.Marks()[1];
  const emu::Checkpoint& late = Middle(boot.timeline);
  bool which = false;
  for (auto _ : State) {
    boot.machine->Restore(which ? early : late, &boot.timeline.Kept());
    which = !which;
  }
}
BENCHMARK(CheckpointRestore)->Unit(benchmark::kMicrosecond);

// Fault points of the default board's boot: from reset on a new CPU each, or from a checkpoint on
// one CPU. The trace keeps what a sweep keeps.
void ImagePoints(benchmark::State& State, bool FromCheckpoints) {
  RecordedBoot boot("default");
  sim::Soc reference(boot.config);
  reference.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  emu::RunImage(boot.image, reference.Bus, boot.options);
  std::vector<sim::FaultKind> kinds;
  for (const sim::FaultKindInfo& info : sim::FaultKinds()) {
    kinds.push_back(info.Kind);
  }
  const std::vector<sim::FaultPoint> all = sim::EnumerateFaultPoints(boot.config, reference, kinds);
  std::vector<sim::FaultPoint> points;
  for (size_t i = 0; i < all.size(); i += PointStride) {
    points.push_back(all[i]);
  }
  const sim::FaultReach reach(boot.config, boot.timeline.Kept());
  for (auto _ : State) {
    for (const sim::FaultPoint& point : points) {
      sim::BoardConfig faulted = boot.config;
      sim::ApplyFault(point, faulted);
      if (sim::CheckHobWalk(faulted.Hobs)) {
        continue;
      }
      sim::Soc soc(faulted);
      soc.Bus.GetTrace().SetKeep(sim::TraceKeep::Changes);
      const emu::RunOptions options = emu::ImageRunOptions(faulted);
      if (!FromCheckpoints) {
        benchmark::DoNotOptimize(emu::RunImage(boot.image, soc.Bus, options));
        continue;
      }
      const emu::Checkpoint* mark = boot.timeline.Latest(
          [&](const emu::Checkpoint& C) { return reach.Before(point, C.Board); });
      if (mark != nullptr) {
        boot.timeline.Replay(*boot.machine, *mark, soc.Bus);
      } else {
        boot.machine->Reset(soc.Bus, options.HobList);
      }
      benchmark::DoNotOptimize(emu::RunEntry(*boot.machine, boot.image));
    }
  }
  State.counters["points/s"] = benchmark::Counter(
      static_cast<double>(points.size() * State.iterations()), benchmark::Counter::kIsRate);
  State.counters["points"] = static_cast<double>(points.size());
}
BENCHMARK_CAPTURE(ImagePoints, default_from_reset, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImagePoints, default_from_checkpoints, true)->Unit(benchmark::kMillisecond);

} // namespace

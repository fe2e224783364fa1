// Boots per second of the module, as the host build (on the default board and on one without a
// PMIC, with and without writing the trace) and as the image in the emulated CPU, and the virtual
// and emulated work one boot takes.
#include "emu/ImageRun.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/run/HostRun.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <string>

namespace {

const sim::BoardConfig& DefaultBoard() {
  static const sim::BoardConfig config =
      sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/default.json");
  return config;
}

// The host build, run the way `boardsim run --host` runs it: a fresh board per boot that keeps
// only what the views need, with or without writing the whole trace as text (to /dev/null, so
// every line is still formatted and written).
const sim::BoardConfig& BuiltInBoard(const std::string& Name) {
  static std::map<std::string, sim::BoardConfig> loaded;
  auto found = loaded.find(Name);
  if (found == loaded.end()) {
    found = loaded
                .emplace(Name, sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + Name +
                                                  ".json"))
                .first;
  }
  return found->second;
}

void HostBoot(benchmark::State& State, const std::string& BoardName, bool WriteTrace) {
  const sim::BoardConfig& board = BuiltInBoard(BoardName);
  std::ofstream sink("/dev/null");
  uint64_t accesses = 0;
  for (auto _ : State) {
    sim::Soc soc(board);
    soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
    if (WriteTrace) {
      soc.Bus.GetTrace().StreamTo(sink);
    }
    const tools::RunResult result = tools::RunHostModule(soc.Bus, {.Hobs = board.Hobs});
    soc.Bus.GetTrace().Flush();
    if (!result.Status) {
      State.SkipWithError(result.Failure.c_str());
      break;
    }
    accesses += soc.Bus.AccessCount();
  }
  State.counters["accesses/boot"] =
      benchmark::Counter(static_cast<double>(accesses), benchmark::Counter::kAvgIterations);
  State.counters["boots/s"] =
      benchmark::Counter(static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
  // Seconds per access, shown with an SI prefix ("9.5n" is 9.5 ns).
  State.counters["time/access"] = benchmark::Counter(
      static_cast<double>(accesses), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(HostBoot, default, std::string("default"), false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HostBoot, default_with_trace, std::string("default"), true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HostBoot, no_pmic, std::string("no-pmic"), false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(HostBoot, no_pmic_with_trace, std::string("no-pmic"), true)
    ->Unit(benchmark::kMicrosecond);

void ImageBoot(benchmark::State& State) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_IMAGE);
  for (auto _ : State) {
    sim::Soc soc(DefaultBoard());
    const emu::RunResult result =
        emu::RunImage(image, soc.Bus, emu::ImageRunOptions(DefaultBoard()));
    if (!result.Status) {
      State.SkipWithError(result.Failure.c_str());
      break;
    }
  }
  State.counters["boots/s"] =
      benchmark::Counter(static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(ImageBoot)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

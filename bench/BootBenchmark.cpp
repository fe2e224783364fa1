// Boots per second of the module on the default board, as the host build and as the image in
// the emulated CPU, and the virtual and emulated work one boot takes.
#include "emu/ImageRun.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/run/HostRun.h"

#include <benchmark/benchmark.h>

namespace {

const sim::BoardConfig& DefaultBoard() {
  static const sim::BoardConfig config =
      sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/default.json");
  return config;
}

void HostBoot(benchmark::State& State) {
  uint64_t accesses = 0;
  for (auto _ : State) {
    sim::Soc soc(DefaultBoard());
    const tools::RunResult result = tools::RunHostModule(soc.Bus, {.Hobs = DefaultBoard().Hobs});
    if (!result.Status) {
      State.SkipWithError(result.Failure.c_str());
      break;
    }
    accesses = soc.Bus.GetTrace().Accesses().size();
  }
  State.counters["accesses/boot"] = static_cast<double>(accesses);
  State.counters["boots/s"] =
      benchmark::Counter(static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
}

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

BENCHMARK(HostBoot)->Unit(benchmark::kMillisecond);
BENCHMARK(ImageBoot)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

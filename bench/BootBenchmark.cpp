// Boots per second of the module on the default board, as the host build and as the image in
// the emulated CPU, and the virtual and emulated work one boot takes.
#include "bench/ImageSizeReport.h"
#include "emu/ImageRun.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/run/HostRun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

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

// The image's figures, apart from the host build's above.

const sim::BoardConfig& BuiltInBoard(const std::string& Name) {
  static std::map<std::string, sim::BoardConfig> boards;
  auto found = boards.find(Name);
  if (found == boards.end()) {
    found = boards
                .emplace(Name, sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + Name +
                                                  ".json"))
                .first;
  }
  return found->second;
}

// The image the build made, or another one named by BOARDINIT_BENCH_IMAGE (its map beside it,
// with .map for .efi), to compare two builds on the same machine.
std::string ImagePath() {
  const char* path = std::getenv("BOARDINIT_BENCH_IMAGE");
  return path != nullptr ? path : BOARDINIT_IMAGE;
}

std::string MapPath() {
  const char* path = std::getenv("BOARDINIT_BENCH_IMAGE");
  return path != nullptr ? std::filesystem::path(path).replace_extension(".map").string()
                         : BOARDINIT_IMAGE_MAP;
}

double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Host boots of the same board, timed the same way as the image's, for the image/host ratio.
double HostSecondsPerBoot(const sim::BoardConfig& Config) {
  constexpr double MeasureFor = 0.2;
  const double start = CpuSeconds();
  int boots = 0;
  do {
    sim::Soc soc(Config);
    if (!tools::RunHostModule(soc.Bus, {.Hobs = Config.Hobs}).Status) {
      throw std::runtime_error("the host build did not return");
    }
    ++boots;
  } while (CpuSeconds() - start < MeasureFor);
  return (CpuSeconds() - start) / boots;
}

// The image in the emulated CPU: boots per second and time per register access (process CPU
// time, so that other work on the machine counts less), the ratio to the host build, and from
// one untimed run in the runner's measuring mode the instructions of a boot, split into busy-waits
// (from a `pause` to the next access that is not a PM-timer read) and the rest. The ratio of
// .text to the constant tables comes from the size report of the same image.
void ImageBoot(benchmark::State& State, const std::string& BoardName) {
  const sim::BoardConfig& config = BuiltInBoard(BoardName);
  const emu::PeImage image = emu::ReadPeFile(ImagePath());
  emu::RunOptions options = emu::ImageRunOptions(config);

  options.CountInstructions = true;
  sim::Soc measured(config);
  const emu::RunResult counted = emu::RunImage(image, measured.Bus, options);
  if (!counted.Status) {
    State.SkipWithError(counted.Failure.c_str());
    return;
  }
  options.CountInstructions = false;
  const double accesses = static_cast<double>(measured.Bus.GetTrace().Accesses().size());
  const double hostSeconds = HostSecondsPerBoot(config);

  const double start = CpuSeconds();
  for (auto _ : State) {
    sim::Soc soc(config);
    const emu::RunResult result = emu::RunImage(image, soc.Bus, options);
    if (!result.Status) {
      State.SkipWithError(result.Failure.c_str());
      return;
    }
  }
  const double imageSeconds = (CpuSeconds() - start) / static_cast<double>(State.iterations());

  const emu::InstructionCounts& n = counted.Counts;
  const auto ratio = [](uint64_t Part, uint64_t Whole) {
    return Whole != 0 ? static_cast<double>(Part) / static_cast<double>(Whole) : 0.0;
  };
  const std::vector<uint8_t> file = emu::ReadFileBytes(ImagePath());
  const bench::SizeReport size = bench::MeasureImage(
      "boardinit.efi", file.size(), emu::ParsePe(file), emu::ReadLinkerMap(MapPath()));

  State.counters["boots/s"] = 1.0 / imageSeconds;
  State.counters["ns/access"] = imageSeconds * 1e9 / accesses;
  State.counters["image/host"] = imageSeconds / hostSeconds;
  State.counters["host ms/boot"] = hostSeconds * 1e3;
  State.counters["insn/boot"] = static_cast<double>(n.BusyWaitInstructions + n.OtherInstructions);
  State.counters["insn busy"] = static_cast<double>(n.BusyWaitInstructions);
  State.counters["insn other"] = static_cast<double>(n.OtherInstructions);
  State.counters["insn/access"] = ratio(n.OtherInstructions, n.OtherAccesses);
  State.counters["insn/timer read"] = ratio(n.BusyWaitInstructions, n.BusyWaitTimerReads);
  State.counters["text/floor"] = size.CodeToDataFloor();
}

BENCHMARK(HostBoot)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageBoot, default, std::string("default"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageBoot, no_pmic, std::string("no-pmic"))->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

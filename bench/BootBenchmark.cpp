// Boots per second of the module, as the host build (on the default board and on one without a
// PMIC, with and without writing the trace) and as the image in the emulated CPU, the virtual and
// emulated work one boot takes, the image's code against its constant tables, and what writing
// a page (--html) adds to a boot.
#include "bench/BenchInputs.h"
#include "bench/ImageSizeReport.h"
#include "emu/ImageRun.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "tools/boardsim/run/RunCommand.h"
#include "tools/run/HostRun.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using bench::BuiltInBoard;
using bench::CpuSeconds;
using bench::ImagePath;
using bench::MapPath;

// The host build, run the way `boardsim run --host` runs it: a fresh board per boot that keeps
// only what the views need, with or without writing the whole trace as text (to /dev/null, so
// every line is still formatted and written).
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

// Host boots of the same board, timed the same way as the image's, for the image/host ratio.
double HostSecondsPerBoot(const sim::BoardConfig& Config) {
  constexpr double MeasureFor = 0.2;
  const double start = CpuSeconds();
  int boots = 0;
  do {
    sim::Soc soc(Config);
    soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
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
  const double accesses = static_cast<double>(measured.Bus.AccessCount());
  const double hostSeconds = HostSecondsPerBoot(config);

  const double start = CpuSeconds();
  for (auto _ : State) {
    sim::Soc soc(config);
    soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
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

// What --html adds to `boardsim run` on a board: the command as main calls it (the board loaded,
// the image booted in its contained child, the summary written), with and without the page
// (the run's report with every pad's detail, its JSON document, the file written whole),
// alternating so that both see the same machine. Wall time, as a person waits for both. ToFile:
// the page goes to a file, which is flushed to the disk before it takes its name; else to
// /dev/null, which leaves the page's own work.
void RunWithPage(benchmark::State& State, const std::string& BoardName, bool ToFile) {
  using Clock = std::chrono::steady_clock;
  const boardsim::Installation where{BOARDINIT_BOARDS_DIR, ImagePath()};
  const std::string page =
      (std::filesystem::temp_directory_path() / "boot_benchmark_page.html").string();
  boardsim::RunOptions plain;
  plain.Board = BoardName;
  boardsim::RunOptions withPage = plain;
  withPage.HtmlPath = ToFile ? page : "/dev/null";
  std::ostringstream summaries; // the summaries go here, not between the benchmark's lines
  std::streambuf* const terminal = std::cout.rdbuf(summaries.rdbuf());
  Clock::duration runs{};
  Clock::duration pageRuns{};
  for (auto _ : State) {
    Clock::time_point start = Clock::now();
    const int status = boardsim::RunCommand(plain, where);
    runs += Clock::now() - start;
    start = Clock::now();
    const int pageStatus = boardsim::RunCommand(withPage, where);
    pageRuns += Clock::now() - start;
    summaries.str({});
    if (status != 0 || pageStatus != 0) {
      State.SkipWithError("the run failed");
      break;
    }
  }
  std::cout.rdbuf(terminal);
  const auto ms = [&](Clock::duration Total) {
    return std::chrono::duration<double, std::milli>(Total).count() /
           static_cast<double>(std::max<int64_t>(State.iterations(), 1));
  };
  State.counters["run ms"] = ms(runs);
  State.counters["run+page ms"] = ms(pageRuns);
  State.counters["page/run"] = (ms(pageRuns) - ms(runs)) / ms(runs);
  if (ToFile) {
    State.counters["page KB"] = static_cast<double>(std::filesystem::file_size(page)) / 1000.0;
    std::filesystem::remove(page);
  }
}

BENCHMARK_CAPTURE(ImageBoot, default, std::string("default"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunWithPage, default, std::string("default"), true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunWithPage, default_no_disk, std::string("default"), false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageBoot, no_pmic, std::string("no-pmic"))->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

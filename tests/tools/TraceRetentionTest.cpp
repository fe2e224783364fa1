// The tool keeps only the accesses its views read and streams the trace text as the run goes:
// on every built-in board, for a boot and for every slot its PMIC offers, the trace file and every
// view must be what the whole trace held in memory gives.
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "support/BuiltInBoards.h"
#include "tools/boardsim/render/OpSummary.h"
#include "tools/boardsim/render/Summary.h"
#include "tools/boardsim/render/SummaryJson.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/run/HostRun.h"
#include "tools/run/SlotCall.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

struct Outcome {
  std::string Trace;
  std::string Views;
  size_t Kept = 0; // accesses held in memory
};

// Runs Body on a fresh board either keeping the whole trace, or the way the tool runs it.
Outcome Observe(const sim::BoardConfig& Config, bool AsTheTool,
                const std::function<std::string(sim::Soc&)>& Body) {
  // Named after the process: two test runs on one machine must not read each other's trace.
  const std::string path =
      ::testing::TempDir() + "trace-retention-" + std::to_string(getpid()) + ".trace";
  Outcome outcome;
  {
    sim::Soc soc(Config);
    boardsim::TraceOutput output(AsTheTool ? std::optional<std::string>(path) : std::nullopt);
    if (AsTheTool) {
      output.Start(soc.Bus);
    }
    outcome.Views = Body(soc);
    output.Finish(soc.Bus);
    outcome.Kept = soc.Bus.GetTrace().Accesses().size();
    if (!AsTheTool) {
      std::ostringstream text;
      soc.Bus.GetTrace().WriteText(text);
      outcome.Trace = text.str();
    }
  }
  if (AsTheTool) {
    std::ifstream file(path);
    outcome.Trace.assign(std::istreambuf_iterator<char>(file), {});
    std::filesystem::remove(path);
  }
  return outcome;
}

// The views as text, or (Json) the document --json prints and --html draws.
std::string Boot(sim::Soc& Soc, bool Json) {
  const auto padsBefore = boardsim::SnapshotPads(Soc.Gpio);
  const tools::RunResult result = tools::RunHostModule(Soc.Bus, {.Hobs = Soc.Config().Hobs});
  const boardsim::RunReport report{
      {Soc.Config().Name, "", "", std::nullopt, {}},
      result.Status,
      result.Failure,
      boardsim::ComparePads(padsBefore, boardsim::SnapshotPads(Soc.Gpio)),
      boardsim::DescribeBoardStep(Soc.Bus.GetTrace().Accesses()),
      {},
      std::nullopt,
      std::nullopt,
      std::nullopt,
      0};
  if (Json) {
    return boardsim::RunDocument(report, Soc.Bus).dump(1);
  }
  std::ostringstream views;
  boardsim::PrintSummary(views, report, Soc.Bus);
  return views.str();
}

std::string CallSlot(sim::Soc& Soc, const std::optional<tools::SlotRequest>& Request, bool Json) {
  const tools::SlotRun run = tools::CallSlotOnHost(Soc.Bus, {.Hobs = Soc.Config().Hobs}, Request);
  std::ostringstream views;
  const boardsim::OpReport report{
      {Soc.Config().Name, "", "", std::nullopt, {}}, true, Request, run, {}, std::nullopt};
  if (Json) {
    return boardsim::OpDocument(report, Soc.Bus, !Request).dump(1);
  }
  if (Request) {
    boardsim::PrintOpSummary(views, report, Soc.Bus);
  } else {
    boardsim::PrintSlotList(views, report, Soc.Bus);
  }
  return views.str();
}

// How many accesses each form held in memory.
std::pair<size_t, size_t> ExpectSame(const sim::BoardConfig& Config,
                                     const std::function<std::string(sim::Soc&)>& Body) {
  const Outcome whole = Observe(Config, false, Body);
  const Outcome kept = Observe(Config, true, Body);
  EXPECT_EQ(kept.Trace, whole.Trace);
  EXPECT_EQ(kept.Views, whole.Views);
  return {whole.Kept, kept.Kept};
}

// Every built-in board's boot and slot calls, run each way, its views compared.
void ExpectSameOnEveryBuiltInBoard(bool Json) {
  std::vector<sim::BoardConfig> boards;
  for (const auto& file : testsupport::BuiltInBoardFiles()) {
    boards.push_back(sim::LoadBoardFile(file.string()));
    boards.back().Name = file.filename().string();
  }
  // And a descriptor HOB of another variant: its board step starts with a timer read, which only
  // the sequence numbers still show.
  boards.push_back(boards.front());
  boards.back().Name = "variant-1 descriptor HOB";
  boards.back().Hobs = {{.What = sim::HobEntry::Kind::PmicDescriptor, .VariantId = 1}};
  for (sim::BoardConfig& config : boards) {
    SCOPED_TRACE(config.Name);
    const auto [whole, kept] =
        ExpectSame(config, [Json](sim::Soc& Soc) { return Boot(Soc, Json); });
    EXPECT_LT(kept * 20, whole); // a boot is nearly all timer reads

    tools::OpenAcpiWindowAsEntryLeavesIt(config);
    ExpectSame(config, [Json](sim::Soc& Soc) { return CallSlot(Soc, std::nullopt, Json); });
    sim::Soc probe(config);
    const tools::SlotRun offered = tools::CallSlotOnHost(probe.Bus, {.Hobs = config.Hobs}, {});
    for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
      if (!offered.Filled[slot]) {
        continue;
      }
      SCOPED_TRACE(tools::PmicSlots[slot].Name);
      tools::SlotRequest request{slot, {}, false};
      request.Values.assign(tools::PmicSlots[slot].Signature().ValueCount(), 0x30);
      ExpectSame(config, [&](sim::Soc& Soc) { return CallSlot(Soc, request, Json); });
    }
  }
}

TEST(TraceRetention, ViewsAndTraceFileMatchTheWholeTraceOnEveryBuiltInBoard) {
  ExpectSameOnEveryBuiltInBoard(false);
}

// The document (and so the page) comes from the trace alone: a run that kept every access (under
// GDB with --trace) draws the timeline a run that kept only the views' inputs draws.
TEST(TraceRetention, JsonDocumentsMatchTheWholeTraceOnEveryBuiltInBoard) {
  ExpectSameOnEveryBuiltInBoard(true);
}

} // namespace

#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "tools/boardsim/render/Page.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/boardsim/sweep/SweepIdentity.h"
#include "tools/boardsim/sweep/SweepMerge.h"
#include "tools/boardsim/sweep/SweepOptions.h"
#include "tools/boardsim/sweep/SweepPool.h"
#include "tools/boardsim/sweep/SweepReport.h"
#include "tools/boardsim/sweep/SweepSample.h"
#include "tools/boardsim/sweep/SweepShards.h"
#include "tools/run/PmicSlots.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <thread>

namespace boardsim {

namespace {

// The files a sweep writes besides standard output, which no input may be.
std::vector<files::NamedFile> SweepOutputs(const SweepOptions& Options) {
  std::vector<files::NamedFile> outputs;
  if (Options.HtmlPath) {
    outputs.push_back({*Options.HtmlPath, "page"});
  }
  if (Options.JunitPath) {
    outputs.push_back({*Options.JunitPath, "JUnit report"});
  }
  return outputs;
}

// The image a reproduce command names: none for the one the build made, which the tool runs
// unless told otherwise.
std::optional<std::string> NamedImage(const std::optional<std::string>& Image,
                                      const Installation& Where) {
  return Image == Where.BuiltImage ? std::nullopt : Image;
}

[[noreturn]] void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

std::vector<sim::FaultKind> ChosenKinds(const std::vector<std::string>& Names) {
  std::vector<sim::FaultKind> kinds;
  if (Names.empty()) {
    for (const sim::FaultKindInfo& info : sim::FaultKinds()) {
      kinds.push_back(info.Kind);
    }
    return kinds;
  }
  for (const std::string& name : Names) {
    const sim::FaultKindInfo* info = sim::FindFaultKind(name);
    if (info == nullptr) {
      BadInput("--kinds: unknown fault kind '" + name + "' (kinds: " + sim::FaultKindNames() + ")");
    }
    if (std::find(kinds.begin(), kinds.end(), info->Kind) == kinds.end()) {
      kinds.push_back(info->Kind);
    }
  }
  return kinds;
}

// Each slot once, in the order first named, as kinds are; none with --boots-only.
std::vector<size_t> ChosenSlots(const std::vector<std::string>& Names, bool BootsOnly) {
  if (BootsOnly) {
    return {};
  }
  if (Names.empty()) {
    return tools::EverySlot();
  }
  std::vector<size_t> slots;
  for (const std::string& name : Names) {
    const std::optional<size_t> slot = tools::FindSlot(name);
    if (!slot) {
      BadInput("--op: unknown slot '" + tools::Printable(name) +
               "' (boardsim op --list shows the 25 slots)");
    }
    if (std::find(slots.begin(), slots.end(), *slot) == slots.end()) {
      slots.push_back(*slot);
    }
  }
  return slots;
}

// The boards to sweep, each file once however it was named, all read before any output is opened;
// what the sweep reads is refused as an output.
struct SweptBoards {
  std::vector<std::string> Names; // as named on the command line
  std::vector<LoadedBoard> Loaded;
};

SweptBoards LoadSweptBoards(const SweepOptions& Options, const Installation& Where,
                            const std::optional<std::string>& Image) {
  const std::vector<std::string> boards =
      Options.Boards.empty() ? BuiltInBoardNames(Where.BoardsDir) : Options.Boards;
  SweptBoards swept;
  std::vector<std::string> files;
  std::vector<files::NamedFile> inputs;
  for (const std::string& name : boards) {
    LoadedBoard board = LoadBoard(name, Where.BoardsDir);
    const std::string file = std::filesystem::weakly_canonical(board.Path).string();
    if (std::find(files.begin(), files.end(), file) != files.end()) {
      continue;
    }
    files.push_back(file);
    inputs.push_back({board.Path, "board"});
    swept.Names.push_back(name);
    swept.Loaded.push_back(std::move(board));
  }
  if (Image) {
    // The map beside the image is read for slot calls even when --map does not name it.
    for (files::NamedFile& input :
         ModuleInputs(*Image, Options.MapPath, Where.BuiltImage, true, false)) {
      inputs.push_back(std::move(input));
    }
  }
  files::RefuseSharedFiles(inputs, SweepOutputs(Options));
  return swept;
}

// The reference run of every target of every board, into Report with how many points of each kind
// it reached; those points, and what each point's run is judged against.
std::vector<SweepPoint> RunReferences(const SweptBoards& Boards, const std::vector<size_t>& Slots,
                                      const SweepOptions& Options, const SweepModule& Module,
                                      SweepReport& Report,
                                      std::vector<SweepReference>& References) {
  std::vector<SweepPoint> points;
  for (size_t b = 0; b < Boards.Loaded.size(); ++b) {
    for (SweepTarget& target :
         BoardTargets(Boards.Names[b], Boards.Loaded[b].Config, Slots, Options.Slots.empty())) {
      SweepReference reference;
      std::vector<sim::FaultPoint> reached;
      PointResult result =
          Module.Run(target, std::nullopt, nullptr, &reference, &reached, Report.Kinds);
      // A slot named with --op stays in the report when the board does not offer it.
      if (Options.Slots.empty() && target.Slot && result.Class == PointClass::NotOffered) {
        continue;
      }
      std::map<sim::FaultKind, size_t>& listed = Report.Listed.emplace_back();
      if (result.Class == PointClass::Returned) {
        for (const sim::FaultPoint& point : reached) {
          points.push_back({Report.Targets.size(), point});
          ++listed[point.Kind];
        }
      }
      Report.Targets.push_back(std::move(target));
      Report.References.push_back(std::move(result));
      References.push_back(std::move(reference));
    }
  }
  return points;
}

void WriteSweep(const SweepOptions& Options, const SweepReport& Report, PageOutput& Page,
                JunitOutput& Junit);

// What decides the sweep's points and outcomes, for its document's identity.
nlohmann::ordered_json IdentityOf(const SweepOptions& Options, const SweptBoards& Boards,
                                  const std::vector<size_t>& Slots, const SweepReport& Report,
                                  const std::optional<std::string>& Image) {
  SweptInputs inputs;
  inputs.BoardNames = Boards.Names;
  for (const LoadedBoard& board : Boards.Loaded) {
    inputs.BoardPaths.push_back(board.Path);
  }
  inputs.Boots = Options.Slots.empty();
  inputs.Slots = Slots;
  inputs.Kinds = Report.Kinds;
  inputs.ImagePath = Image;
  if (Image) {
    inputs.MapPath = MapOf(Options.MapPath, *Image);
  }
  inputs.Sample = Options.Sample;
  inputs.Seed = Options.Seed;
  return SweepIdentity(inputs);
}

// --shard K/N: the report keeps the K-th part of its points, each point's expected cost being the
// length of its target's reference run.
void TakeShard(const ShardChoice& Choice, const std::vector<SweepReference>& References,
               SweepReport& Report) {
  std::vector<uint64_t> costs;
  for (const SweepPoint& point : Report.Points) {
    costs.push_back(References[point.Target].Accesses);
  }
  ShardPart part{Choice.Index,
                 Choice.Count,
                 Report.Points.size(),
                 std::move(SplitByCost(costs, Choice.Count)[Choice.Index - 1]),
                 0,
                 0};
  std::vector<SweepPoint> points;
  for (const size_t i : part.Points) {
    part.Cost += costs[i];
    points.push_back(Report.Points[i]);
  }
  for (const uint64_t cost : costs) {
    part.TotalCost += cost;
  }
  Report.Points = std::move(points);
  Report.Shard = std::move(part);
}

std::optional<ShardChoice> ChosenShard(const std::optional<std::string>& Text) {
  if (!Text) {
    return std::nullopt;
  }
  const std::optional<ShardChoice> shard = ParseShard(*Text);
  if (!shard) {
    BadInput("--shard: '" + tools::Printable(*Text) +
             "' is not K/N with 1 <= K <= N <= " + std::to_string(MaxShards));
  }
  return shard;
}

// --merge: the shards' documents read before any output is opened, none of them an output.
int MergeCommand(const SweepOptions& Options) {
  std::vector<files::NamedFile> inputs;
  for (const std::string& file : Options.Merge) {
    inputs.push_back({file, "shard"});
  }
  files::RefuseSharedFiles(inputs, SweepOutputs(Options));
  const SweepReport report = MergeShards(Options.Merge);
  PageOutput page(Options.HtmlPath);
  JunitOutput junit(Options.JunitPath);
  WriteSweep(Options, report, page, junit);
  return report.Failed() == 0 ? 0 : tools::ExitRunFailed;
}

// The page and the text or document, each from the same report.
void WriteSweep(const SweepOptions& Options, const SweepReport& Report, PageOutput& Page,
                JunitOutput& Junit) {
  Junit.Write("boardsim sweep", SweepJunit(Report), Report.Seconds);
  if (Page.Wanted()) {
    // Every point's outcome would make a full sweep's page several megabytes; the page shows the
    // matrix and the failures, which the rest of the document holds.
    nlohmann::ordered_json shown = SweepDocument(Report);
    shown.erase("points");
    Page.Write(shown, "boardsim sweep");
  }
  std::ostream& out = Options.HtmlPath == "-" ? std::cerr : std::cout;
  if (Options.Json) {
    out << SweepDocument(Report).dump(2) << '\n';
  } else {
    PrintSweep(out, Report);
  }
}

} // namespace

std::optional<std::string> SweptImage(const SweepOptions& Options, const Installation& Where) {
  return Options.Host
             ? std::nullopt
             : std::optional(Options.ImagePath && !Options.ImagePath->empty() ? *Options.ImagePath
                                                                              : Where.BuiltImage);
}

SweepReport RunSweep(const SweepOptions& Options, const Installation& Where, bool Progress,
                     const std::function<void()>& Checked) {
  const std::optional<ShardChoice> shard = ChosenShard(Options.Shard);
  const std::optional<std::string> image = SweptImage(Options, Where);
  SweepReport report;
  report.Kinds = ChosenKinds(Options.Kinds);
  const std::vector<size_t> slots = ChosenSlots(Options.Slots, Options.BootsOnly);
  const SweptBoards boards = LoadSweptBoards(Options, Where, image);
  if (Checked) {
    Checked();
  }
  const SweepModule module(image, Options.MapPath, Options.FromReset);
  report.Module = ModuleName(image);
  report.Sweep = IdentityOf(Options, boards, slots, report, image);
  report.Jobs =
      Options.Jobs != 0 ? Options.Jobs : std::max(1u, std::thread::hardware_concurrency());
  const auto start = std::chrono::steady_clock::now();

  std::vector<SweepReference> references;
  report.Points = SamplePoints(RunReferences(boards, slots, Options, module, report, references),
                               Options.Sample, Options.Seed);
  if (shard) {
    TakeShard(*shard, references, report);
  }
  if (Options.ListPoints) {
    return report;
  }
  report.Results = RunInWorkers(
      report.Points.size(), report.Jobs,
      [&](size_t I) {
        const SweepPoint& point = report.Points[I];
        return module.Run(report.Targets[point.Target], point.Point, &references[point.Target]);
      },
      Progress);
  report.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::optional<std::string> imageNamed = NamedImage(image, Where);
  report.Reproduce.resize(report.Points.size());
  for (size_t i = 0; i < report.Points.size(); ++i) {
    if (report.Results[i].Failed()) {
      report.Reproduce[i] =
          ReproduceCommand(report.Targets[report.Points[i].Target], report.Points[i].Point, !image,
                           imageNamed, Options.MapPath);
    }
  }
  return report;
}

int SweepCommand(const SweepOptions& Options, const Installation& Where) {
  if (!Options.Merge.empty()) {
    return MergeCommand(Options);
  }
  // The outputs are opened once the inputs have passed, before any time is spent.
  std::optional<PageOutput> page;
  std::optional<JunitOutput> junit;
  const SweepReport report = RunSweep(Options, Where, true, [&] {
    page.emplace(Options.HtmlPath);
    junit.emplace(Options.JunitPath);
  });
  if (Options.ListPoints) {
    const std::optional<std::string> image = SweptImage(Options, Where);
    PrintPointList(std::cout, report, !image, NamedImage(image, Where), Options.MapPath,
                   Options.Json);
    return report.Failed() == 0 ? 0 : tools::ExitRunFailed;
  }
  WriteSweep(Options, report, *page, *junit);
  return report.Failed() == 0 ? 0 : tools::ExitRunFailed;
}

} // namespace boardsim

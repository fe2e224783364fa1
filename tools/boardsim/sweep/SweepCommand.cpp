#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "tools/boardsim/shared/BoardInput.h"
#include "tools/boardsim/shared/Commands.h"
#include "tools/boardsim/shared/Page.h"
#include "tools/boardsim/shared/RunModule.h"
#include "tools/boardsim/sweep/SweepPool.h"
#include "tools/boardsim/sweep/SweepReport.h"
#include "tools/run/PmicSlots.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <thread>

namespace boardsim {

namespace {

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

// Each slot once, in the order first named, as kinds are.
std::vector<size_t> ChosenSlots(const std::vector<std::string>& Names) {
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

// About Wanted points in all, each kind keeping its share (at least one), evenly spaced.
std::vector<SweepPoint> Sample(const std::vector<SweepPoint>& Points, size_t Wanted) {
  if (Wanted == 0 || Wanted >= Points.size()) {
    return Points;
  }
  std::map<sim::FaultKind, std::vector<SweepPoint>> byKind;
  for (const SweepPoint& point : Points) {
    byKind[point.Point.Kind].push_back(point);
  }
  std::vector<SweepPoint> kept;
  for (const auto& [kind, points] : byKind) {
    const size_t share = std::max<size_t>(1, points.size() * Wanted / Points.size());
    for (size_t i = 0; i < share; ++i) {
      kept.push_back(points[i * points.size() / share]);
    }
  }
  return kept;
}

} // namespace

int SweepCommand(const SweepOptions& Options, const Installation& Where) {
  const std::vector<sim::FaultKind> kinds = ChosenKinds(Options.Kinds);
  const std::vector<size_t> slots = ChosenSlots(Options.Slots);
  const std::vector<std::string> boards =
      Options.Boards.empty() ? BuiltInBoardNames(Where.BoardsDir) : Options.Boards;
  const std::optional<std::string> image =
      Options.Host
          ? std::nullopt
          : std::optional(Options.ImagePath && !Options.ImagePath->empty() ? *Options.ImagePath
                                                                           : Where.BuiltImage);
  // Each board file once, however it was named; all are read before the page is opened.
  std::vector<std::string> names;
  std::vector<LoadedBoard> loaded;
  std::vector<std::string> swept;
  std::vector<files::NamedFile> inputs;
  for (const std::string& name : boards) {
    LoadedBoard board = LoadBoard(name, Where.BoardsDir);
    const std::string file = std::filesystem::weakly_canonical(board.Path).string();
    if (std::find(swept.begin(), swept.end(), file) != swept.end()) {
      continue;
    }
    swept.push_back(file);
    inputs.push_back({board.Path, "board"});
    names.push_back(name);
    loaded.push_back(std::move(board));
  }
  if (image) {
    inputs.push_back({*image, "image"});
  }
  if (Options.MapPath) {
    inputs.push_back({*Options.MapPath, "map"});
  }
  std::vector<files::NamedFile> outputs;
  if (Options.HtmlPath) {
    outputs.push_back({*Options.HtmlPath, "page"});
  }
  files::RefuseSharedFiles(inputs, outputs);
  PageOutput page(Options.HtmlPath);
  const SweepModule module(image, Options.MapPath, Options.FromReset);
  const unsigned jobs =
      Options.Jobs != 0 ? Options.Jobs : std::max(1u, std::thread::hardware_concurrency());

  SweepReport report;
  report.Module = ModuleName(image);
  report.Kinds = kinds;
  report.Jobs = jobs;
  const auto start = std::chrono::steady_clock::now();

  // The reference runs, and the points each reached.
  std::vector<SweepReference> references;
  std::vector<SweepPoint> points;
  const auto addTarget = [&](SweepTarget Target, bool SkipUnoffered) {
    SweepReference reference;
    std::vector<sim::FaultPoint> reached;
    PointResult result = module.Run(Target, std::nullopt, nullptr, &reference, &reached, kinds);
    if (SkipUnoffered && result.Class == PointClass::NotOffered) {
      return;
    }
    const size_t index = report.Targets.size();
    if (result.Class == PointClass::Returned) {
      for (const sim::FaultPoint& point : reached) {
        points.push_back({index, point});
      }
    }
    report.Targets.push_back(std::move(Target));
    report.References.push_back(std::move(result));
    references.push_back(std::move(reference));
  };
  for (size_t b = 0; b < loaded.size(); ++b) {
    for (SweepTarget& target :
         BoardTargets(names[b], loaded[b].Config, slots, Options.Slots.empty())) {
      // A slot named with --op stays in the report when the board does not offer it.
      const bool skipUnoffered = Options.Slots.empty() && target.Slot;
      addTarget(std::move(target), skipUnoffered);
    }
  }
  report.Points = Sample(points, Options.Sample);
  const std::optional<std::string> imageNamed = image == Where.BuiltImage ? std::nullopt : image;
  if (Options.ListPoints) {
    PrintPointList(std::cout, report, !image, imageNamed, Options.MapPath, Options.Json);
    return report.Failed() == 0 ? 0 : tools::ExitRunFailed;
  }

  report.Results = RunInWorkers(
      report.Points.size(), jobs,
      [&](size_t I) {
        const SweepPoint& point = report.Points[I];
        return module.Run(report.Targets[point.Target], point.Point, &references[point.Target]);
      },
      true);
  report.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report.Reproduce.resize(report.Points.size());
  for (size_t i = 0; i < report.Points.size(); ++i) {
    if (report.Results[i].Failed()) {
      report.Reproduce[i] =
          ReproduceCommand(report.Targets[report.Points[i].Target], report.Points[i].Point, !image,
                           imageNamed, Options.MapPath);
    }
  }
  if (page.Wanted()) {
    // Every point's outcome would make a full sweep's page several megabytes; the page shows the
    // matrix and the failures, which the rest of the document holds.
    nlohmann::ordered_json shown = SweepDocument(report);
    shown.erase("points");
    page.Write(shown, "boardsim sweep");
  }
  std::ostream& out = Options.HtmlPath == "-" ? std::cerr : std::cout;
  if (Options.Json) {
    out << SweepDocument(report).dump(2) << '\n';
  } else {
    PrintSweep(out, report);
  }
  return report.Failed() == 0 ? 0 : tools::ExitRunFailed;
}

} // namespace boardsim

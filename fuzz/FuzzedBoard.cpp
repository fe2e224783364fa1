#include "fuzz/FuzzedBoard.h"

#include "sim/BoardFile.h"
#include "sim/Device.h"
#include "tools/run/HostRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

namespace {
// The legacy bridge's (00:1F.0) PMC base register, in the PCI configuration window.
constexpr uint32_t PmcBaseRegister = 0xE00F8044;
} // namespace

const std::vector<sim::BoardConfig>& BuiltInBoards() {
  static const std::vector<sim::BoardConfig> boards = [] {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
      if (entry.path().extension() == ".json") {
        paths.push_back(entry.path());
      }
    }
    std::sort(paths.begin(), paths.end()); // an input picks the same board on every machine
    std::vector<sim::BoardConfig> configs;
    for (const auto& path : paths) {
      configs.push_back(sim::LoadBoardFile(path.string()));
    }
    return configs;
  }();
  return boards;
}

const sim::BoardConfig& PickBuiltInBoard(FuzzedDataProvider& Input) {
  const auto& boards = BuiltInBoards();
  return boards[Input.ConsumeIntegralInRange<size_t>(0, boards.size() - 1)];
}

uint32_t FuzzedAnswers::Answer(sim::Space, uint32_t Address, unsigned, const sim::Device* Dev,
                               uint32_t Value) {
  if (Dev == nullptr || input_.remaining_bytes() == 0) {
    return Value;
  }
  const std::string_view name = Dev->Name();
  if (name != "i2c-controller" && name != "pci-config" && name != "gpio-pads" &&
      name != "pm-timer") {
    return Value;
  }
  if ((input_.ConsumeIntegral<uint8_t>() & 1) == 0) {
    return Value;
  }
  const uint32_t answer = input_.ConsumeIntegral<uint32_t>();
  // The PMC base is the platform's set-up, which earlier firmware wrote and the module trusts as
  // it trusts where the bridge is: it may be missing (all ones), but is not answered at random.
  return Address == PmcBaseRegister ? 0xFFFFFFFFu : answer;
}

FuzzedSoc::FuzzedSoc(const sim::BoardConfig& Config, FuzzedDataProvider* Input) : Soc(Config) {
  Soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  if (Input != nullptr) {
    Soc.Bus.SetReadAnswers(&answers_.emplace(*Input));
  }
}

std::vector<std::vector<sim::Access>> BuiltInBoots() {
  std::vector<std::vector<sim::Access>> runs;
  for (const sim::BoardConfig& config : BuiltInBoards()) {
    FuzzedSoc board(config);
    if (!tools::RunHostModule(board.Soc.Bus, {.Hobs = config.Hobs}).Status) {
      Finding("the reference boot of " + config.Name + " did not return");
    }
    runs.push_back(board.Accesses());
  }
  return runs;
}

const sim::ReferenceWrites& Reference() {
  static const sim::ReferenceWrites reference = [] {
    std::vector<sim::Access> all;
    for (const auto& run : ReferenceRuns()) {
      all.insert(all.end(), run.begin(), run.end());
    }
    return sim::ReferenceWrites(all);
  }();
  return reference;
}

std::vector<sim::BadWrite> Unaccounted(const std::vector<sim::Access>& Run,
                                       const sim::ReferenceWrites& Reference,
                                       const sim::ReferenceWrites* Also) {
  std::vector<sim::BadWrite> found = Reference.Check(Run);
  if (Also != nullptr && !found.empty()) {
    const std::vector<sim::BadWrite> also = Also->Check(Run);
    std::erase_if(found, [&](const sim::BadWrite& Bad) { // the call without faults writes it too
      return std::none_of(also.begin(), also.end(), [&](const sim::BadWrite& A) {
        return A.Seq == Bad.Seq && A.What == Bad.What;
      });
    });
  }
  return found;
}

void CheckWrites(const std::string& What, const std::vector<sim::Access>& Run,
                 const sim::ReferenceWrites& Reference, const sim::ReferenceWrites* Also) {
  for (const sim::BadWrite& bad : Unaccounted(Run, Reference, Also)) {
    Finding(What +
            (bad.Kind == sim::BadWriteKind::Stray
                 ? ": a stray write (no fault-free run writes that register): "
                 : ": a write built on a failed read: ") +
            bad.What + " (access " + std::to_string(bad.Seq) + ")");
  }
}

void Finding(const std::string& What) {
  std::fprintf(stderr, "finding: %s\n", What.c_str());
  std::abort();
}

} // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::Reference();
  return 0;
}

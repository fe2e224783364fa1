// The host build and the real image are one module: on the same board they must make the same
// accesses, with the same values, at the same virtual times, and return the same status.
#include "emu/ImageRun.h"
#include "package/Depex.h"
#include "package/Peim.h"
#include "package/Volume.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "support/BuiltInBoards.h"
#include "tools/run/HostRun.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Outcome {
  std::optional<uint32_t> Status;
  std::string Failure;
  std::vector<sim::Access> Trace;
  uint64_t Pauses;
};

Outcome RunHost(const sim::BoardConfig& Config) {
  sim::Soc soc(Config);
  const tools::RunResult result = tools::RunHostModule(soc.Bus, {.Hobs = Config.Hobs});
  return {result.Status, result.Failure, soc.Bus.GetTrace().Accesses(), soc.Bus.Pauses()};
}

Outcome RunImage(const sim::BoardConfig& Config, const emu::PeImage& Image) {
  sim::Soc soc(Config);
  const emu::RunResult result = emu::RunImage(Image, soc.Bus, emu::ImageRunOptions(Config));
  return {result.Status, result.Failure, soc.Bus.GetTrace().Accesses(), soc.Bus.Pauses()};
}

// Records, not their text: every field of the text form is a field of the record, and the
// trace's own tests hold the text form.
void ExpectSameRun(const sim::BoardConfig& Config, const Outcome& host, const emu::PeImage& Image) {
  const Outcome image = RunImage(Config, Image);
  ASSERT_TRUE(host.Status) << host.Failure;
  ASSERT_TRUE(image.Status) << image.Failure;
  EXPECT_EQ(*image.Status, *host.Status);
  EXPECT_EQ(image.Pauses, host.Pauses);
  // Report the first access that differs rather than two traces of thousands of lines.
  const auto [left, right] =
      std::mismatch(image.Trace.begin(), image.Trace.end(), host.Trace.begin(), host.Trace.end());
  EXPECT_TRUE(left == image.Trace.end() && right == host.Trace.end())
      << "first difference at access " << (left - image.Trace.begin()) << ": image "
      << (left == image.Trace.end() ? "ends" : sim::FormatAccess(*left)) << ", host "
      << (right == host.Trace.end() ? "ends" : sim::FormatAccess(*right));
  EXPECT_FALSE(host.Trace.empty()); // the module did run
}

void ExpectSameRun(const sim::BoardConfig& Config, const emu::PeImage& Image) {
  ExpectSameRun(Config, RunHost(Config), Image);
}

// The forms the module ships in, as the build wrote them: the volume's module runs in place at
// the address it was rebased to, the others are relocated by the runner.
struct ShippedForm {
  const char* Path;
  emu::PeImage Image;
};

std::vector<ShippedForm> ShippedForms() {
  std::vector<ShippedForm> forms;
  for (const char* path : {BOARDINIT_IMAGE, BOARDINIT_TE, BOARDINIT_FFS, BOARDINIT_FV}) {
    forms.push_back({path, emu::ReadModuleFile(path)});
  }
  // The build's option for a PE32 code section, placed elsewhere: rebasing the PE32 form.
  const std::vector<uint8_t> pe = emu::ReadFileBytes(BOARDINIT_IMAGE);
  const package::FileSpec file =
      package::PeimFile({*package::Guid::Parse(BOARDINIT_FILE_GUID), BOARDINIT_UI_NAME,
                         package::DepexAlways(), package::CodeForm::Pe32},
                        pe);
  forms.push_back(
      {"a volume at 0x00900000 with the PE32 section",
       emu::LoadModule(package::BuildVolumeInPlace({&file, 1}, {.Size = 0x10000}, 0x00900000))});
  return forms;
}

} // namespace

// Every board in the boards folder, as CI finds it: a new board file is covered without a change
// here. Every shipped form of the image: PE32, TE, FFS file and volume.
TEST(DifferentialTest, HostBuildAndImageMakeTheSameAccessesOnEveryBoard) {
  const std::vector<ShippedForm> forms = ShippedForms();
  EXPECT_TRUE(forms[3].Image.InPlace);
  EXPECT_NE(forms[3].Image.ImageBase, 0u);
  EXPECT_EQ(forms[4].Image.ImageBase, 0x00900000u + 72 + 24 + 8 + 4);
  const std::vector<std::filesystem::path> boards = testsupport::BuiltInBoardFiles();
  ASSERT_FALSE(boards.empty());
  for (const std::filesystem::path& board : boards) {
    const sim::BoardConfig config = sim::LoadBoardFile(board.string());
    const Outcome host = RunHost(config);
    for (const ShippedForm& form : forms) {
      SCOPED_TRACE(board.filename().string() + " " + form.Path);
      ExpectSameRun(config, host, form.Image);
    }
  }
}

// Malformed HOB lists that a board file may describe (their walk stays inside the list): both
// forms take the same descriptor or fall back to detection alike.
TEST(DifferentialTest, HostBuildAndImageWalkMalformedHobListsAlike) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_IMAGE);
  const char* const boards[] = {
      R"({"hobs": [{"kind": "other", "hob_type": 3, "hob_length": 0},
                   {"kind": "pmic-descriptor", "variant": 6}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 2, "data_length": 64, "hob_length": 16},
                   {"kind": "pmic-descriptor", "variant": 6}]})",
      R"({"hobs": [{"kind": "pmic-descriptor", "variant": 1, "hob_length": 0}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 2, "hob_length": 32},
                   {"kind": "other", "hob_type": 2, "data_length": 16},
                   {"kind": "pmic-descriptor", "variant": 6}]})",
      R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA",
                    "data_length": 208}]})",
  };
  for (const char* board : boards) {
    SCOPED_TRACE(board);
    ExpectSameRun(sim::ParseBoardText(board, "board.json"), image);
  }
}

// Budgets end both forms at the same access, whichever budget and wherever the module is; a
// board with fast ports (millions of timer reads in the settle wait) still returns in both, and
// so does one whose timer reads come faster than the counter moves (taken for a frozen timer).
TEST(DifferentialTest, BudgetsEndBothFormsAtTheSameAccess) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_IMAGE);
  const std::pair<const char*, const char*> boards[] = {
      {R"({"access_costs_ns": {"port_read": 100}})", ""},
      {R"({"access_costs_ns": {"port_read": 1}})", ""},
      {R"({"access_costs_ns": {"port_read": 20}, "access_budget": 300000})",
       "access budget of 300000 exhausted"},
      {R"({"access_budget": 800})", "access budget of 800 exhausted"},
      {R"({"time_budget_ms": 50})", "time budget of 50 ms of virtual time exhausted"},
      {R"({"time_budget_ms": 20, "faults": {"semaphore_never_granted": true}})",
       "time budget of 20 ms of virtual time exhausted"},
  };
  for (const auto& [board, budget] : boards) {
    SCOPED_TRACE(board);
    const sim::BoardConfig config = sim::ParseBoardText(board, "board.json");
    const Outcome host = RunHost(config);
    const Outcome ran = RunImage(config, image);
    EXPECT_EQ(ran.Status, host.Status);
    // Both list the same last accesses under their first line; only the image's names an
    // instruction.
    const size_t hostEnd = std::min(host.Failure.find('\n'), host.Failure.size());
    const size_t ranEnd = std::min(ran.Failure.find('\n'), ran.Failure.size());
    EXPECT_EQ(host.Failure.substr(0, hostEnd), budget);
    EXPECT_TRUE(ran.Failure.starts_with(budget)) << ran.Failure;
    EXPECT_EQ(host.Failure.substr(hostEnd), ran.Failure.substr(ranEnd));
    const bool stuck = *budget != '\0';
    EXPECT_EQ(host.Failure.find("\nlast accesses:\n  ") != std::string::npos, stuck);
    EXPECT_EQ(ran.Trace.size(), host.Trace.size());
    EXPECT_TRUE(ran.Trace == host.Trace);
  }
}

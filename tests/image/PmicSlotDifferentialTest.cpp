// The PMIC library as other firmware modules use it, in the real image and in the host build:
// on every board, GetActivePmic and then each slot the chosen descriptor fills must make the same
// accesses at the same virtual times, return the same value and store the same results.
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "support/BuiltInBoards.h"
#include "tools/boardsim/shared/RunModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

struct Call {
  std::string Module;
  tools::SlotRun Run;
  std::vector<sim::Access> Trace;
};

Call CallOn(const sim::BoardConfig& Config, bool Host, const tools::SlotRequest& Request) {
  sim::Soc soc(Config);
  boardsim::RunOptions options;
  options.Host = Host;
  boardsim::ModuleSlotCall call = boardsim::CallSlot(options, soc, BOARDINIT_IMAGE, Request);
  return {call.Module, std::move(call.Run), soc.Bus.GetTrace().Accesses()};
}

// The same arguments in both forms; a slot that tests its pointer is also given null.
std::vector<tools::SlotRequest> RequestsFor(size_t Slot) {
  const tools::SlotSignature& signature = tools::PmicSlots[Slot].Signature();
  const std::vector<uint8_t> values = {0x30, 0x85};
  tools::SlotRequest request{Slot, {values.begin(), values.begin() + signature.ValueCount()}};
  if (!signature.TestsNull) {
    return {request};
  }
  tools::SlotRequest null = request;
  null.NullPointer = true;
  return {request, null};
}

// Every board in the boards folder: between them they fit every variant.
std::vector<std::pair<std::string, sim::BoardConfig>> Boards() {
  std::vector<std::pair<std::string, sim::BoardConfig>> boards;
  for (const std::filesystem::path& file : testsupport::BuiltInBoardFiles()) {
    boards.emplace_back(file.filename().string(), sim::LoadBoardFile(file.string()));
  }
  return boards;
}

TEST(PmicSlotDifferentialTest, EveryFilledSlotRunsAlikeInImageAndHostBuildOnEveryBoard) {
  std::set<uint32_t> variants;
  for (auto& [board, config] : Boards()) {
    tools::OpenAcpiWindowAsEntryLeavesIt(config);
    sim::Soc listing(config);
    const tools::SlotRun offered =
        tools::CallSlotOnHost(listing.Bus, {.Hobs = config.Hobs}, std::nullopt);
    ASSERT_TRUE(offered.Selected) << board << ": " << offered.Failure;
    for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
      for (const tools::SlotRequest& request :
           offered.Filled[slot] ? RequestsFor(slot) : std::vector<tools::SlotRequest>{}) {
        SCOPED_TRACE(board + " " + tools::PmicSlots[slot].Name +
                     (request.NullPointer ? "(null)" : ""));
        const Call host = CallOn(config, true, request);
        const Call image = CallOn(config, false, request);
        ASSERT_TRUE(host.Run.Returned) << host.Run.Failure;
        ASSERT_TRUE(image.Run.Returned) << image.Run.Failure;
        EXPECT_EQ(image.Run.VariantId, host.Run.VariantId);
        EXPECT_EQ(image.Run.SelectionAccesses, host.Run.SelectionAccesses);
        EXPECT_EQ(*image.Run.Returned, *host.Run.Returned);
        EXPECT_EQ(image.Run.Stored, host.Run.Stored);
        if (image.Trace != host.Trace) {
          // The first access that differs, rather than two traces of thousands of lines.
          const auto [left, right] = std::mismatch(image.Trace.begin(), image.Trace.end(),
                                                   host.Trace.begin(), host.Trace.end());
          ADD_FAILURE() << "traces differ from access " << left - image.Trace.begin() << ": image "
                        << (left == image.Trace.end() ? "ends" : sim::FormatAccess(*left))
                        << ", host build "
                        << (right == host.Trace.end() ? "ends" : sim::FormatAccess(*right));
        }
        variants.insert(host.Run.VariantId);
      }
    }
  }
  EXPECT_EQ(variants, (std::set<uint32_t>{1, 5, 6, 0xFE}));
}

} // namespace

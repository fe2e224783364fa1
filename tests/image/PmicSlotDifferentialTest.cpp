// The PMIC library as other firmware modules use it, in the real image and in the host build:
// on every board, GetActivePmic and then each slot the chosen descriptor fills must make the same
// accesses at the same virtual times, return the same value and store the same results.
#include "pmic/PmicRegisterAccess.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "sim/faults/FaultKinds.h"
#include "support/BuiltInBoards.h"
#include "tools/boardsim/session/RunModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
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

// The module's behaviour under the faults where it does what its design states (the host tests
// hold each access sequence): both forms make the same accesses, and the restored parts show.
TEST(PmicSlotDifferentialTest, TheRestoredFaultCasesRunAlikeInBothForms) {
  using Count = std::function<size_t(const std::vector<sim::Access>&)>;
  const auto accesses = [](sim::AccessOp Op, uint32_t Address) {
    return Count([=](const std::vector<sim::Access>& Trace) {
      return static_cast<size_t>(
          std::count_if(Trace.begin(), Trace.end(),
                        [&](const sim::Access& A) { return A.Op == Op && A.Address == Address; }));
    });
  };
  const auto valueWrites = [](uint32_t Address, uint32_t Value) {
    return Count([=](const std::vector<sim::Access>& Trace) {
      return static_cast<size_t>(
          std::count_if(Trace.begin(), Trace.end(), [&](const sim::Access& A) {
            return A.Op == sim::AccessOp::Write && A.Address == Address && A.Value == Value;
          }));
    });
  };
  const auto transfers = [](bool Read, uint16_t Device, std::optional<uint8_t> Register) {
    return Count([=](const std::vector<sim::Access>& Trace) {
      size_t found = 0;
      for (const auto& t : sim::decode::DecodeBus(Trace).I2c) {
        found += t.Read == Read && t.Device == Device && (!Register || t.Register == *Register) &&
                 (Read || t.HasValue);
      }
      return found;
    });
  };
  const auto writesTo = [&](uint16_t Device) { return transfers(false, Device, std::nullopt); };
  const auto everyTransfer = [](const std::vector<sim::Access>& Trace) {
    return sim::decode::DecodeBus(Trace).I2c.size();
  };
  const auto functionDisableOnes = [](sim::BoardConfig& Config) {
    Config.PmcFunctionDisable = 0xFFFFFFFF;
  };
  struct Case {
    const char* Board;
    std::optional<const char*> Slot; // none: a boot
    std::vector<const char*> Faults;
    Count Counted;
    size_t Expected;
    std::function<void(sim::BoardConfig&)> Changed = {};
  };
  const Case cases[] = {
      // Pad 33 is read once by the board step (and twice by its table row before).
      {"default",
       std::nullopt,
       {"pad-reads-all-ones:0xFED0E218@20"},
       accesses(sim::AccessOp::Read, 0xFED0E218),
       7},
      {"default",
       std::nullopt,
       {"pad-reads-all-ones:0xFED0D19C@9"},
       accesses(sim::AccessOp::Read, 0xFED0D19C),
       1},
      // The release whose read got all ones writes register 7 back all the same: three holds,
      // three requests, three releases.
      {"default",
       std::nullopt,
       {"punit-reads-all-ones:0x07@5"},
       accesses(sim::AccessOp::Write, 0xE00000D4),
       6},
      // One selection or three, then the 13-row table.
      {"variant1-id00", "InitStep1", {"device-stops-acknowledging:0x6E@3"}, writesTo(0x6E), 13},
      {"variant1-id00", "InitStep1", {"device-stops-acknowledging:0x6E@5"}, writesTo(0x6E), 13},
      // No start written, and the wait goes on: every poll fails too, up to the bound.
      {"variant1-id00",
       "ReadVoltage",
       {"device-stops-acknowledging:0x6E@3"},
       everyTransfer,
       3 + 1 + PmicConversionPollLimit},
      // A function-disable register that reads all ones has bit 29 set: each of the three
      // bring-ups of the boot reads it again, and writes nothing.
      {"default",
       std::nullopt,
       {},
       accesses(sim::AccessOp::Read, 0xFED03034),
       2 * 3,
       functionDisableOnes},
      // The auxiliary set-up decodes a failed identification (0xFF: register 0xDC) and a failed
      // revision (0xFF: late) as read: one write to 0x5E, then three.
      {"variant1-id1f-rb1", "InitStep5", {"device-stops-acknowledging:0x6E@40"}, writesTo(0x5E), 1},
      {"variant1-id1f-rb1", "InitStep5", {"device-stops-acknowledging:0x6E@42"}, writesTo(0x5E), 3},
      // A refused poll of the converter is followed by the three the unfaulted call makes.
      {"variant6", "ReadVoltage", {"byte-refused@5"}, transfers(true, 0x5E, 0x50), 1 + 3},
      // The release after the time-out reads nothing and writes the request back as it stands
      // (0x102), as the two releases that read it do.
      {"default",
       "ReadRegister",
       {"semaphore-never-granted", "punit-reads-all-ones:0x07@30002"},
       valueWrites(0xE00000D4, 0x102),
       2 * 3},
  };
  for (const Case& c : cases) {
    std::string faults;
    for (const char* fault : c.Faults) {
      faults += std::string(" ") + fault;
    }
    SCOPED_TRACE(std::string(c.Board) + " " + c.Slot.value_or("boot") + faults);
    sim::BoardConfig config =
        sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + c.Board + ".json");
    for (const char* fault : c.Faults) {
      sim::ApplyFault(sim::ParseFaultPoint(fault), config);
    }
    if (c.Changed) {
      c.Changed(config);
    }
    std::vector<sim::Access> traces[2];
    std::optional<uint64_t> returned[2];
    for (const bool host : {true, false}) {
      sim::Soc soc(config);
      boardsim::RunOptions options;
      options.Host = host;
      if (c.Slot) {
        tools::OpenAcpiWindowAsEntryLeavesIt(config);
        sim::Soc called(config);
        // 0 for every byte argument, as boardsim op passes them by default.
        const size_t slot = *tools::FindSlot(*c.Slot);
        const std::vector<uint8_t> zeros(tools::PmicSlots[slot].Signature().ValueCount(), 0);
        const boardsim::ModuleSlotCall call =
            boardsim::CallSlot(options, called, BOARDINIT_IMAGE, tools::SlotRequest{slot, zeros});
        ASSERT_TRUE(call.Run.Returned) << call.Run.Failure;
        traces[host] = called.Bus.GetTrace().Accesses();
        returned[host] = *call.Run.Returned;
      } else {
        const boardsim::ModuleRun run = boardsim::RunModule(options, soc, BOARDINIT_IMAGE);
        ASSERT_TRUE(run.Result.Status) << run.Result.Failure;
        traces[host] = soc.Bus.GetTrace().Accesses();
      }
    }
    EXPECT_TRUE(traces[0] == traces[1]);
    EXPECT_EQ(returned[0], returned[1]);
    EXPECT_EQ(c.Counted(traces[1]), c.Expected);
  }
}

} // namespace

// One PMIC slot called as `boardsim op` calls it, on a built-in board whose devices answer what
// the fuzzer chooses (FuzzedBoard.h), with fuzzer-chosen arguments. Whatever they answer,
// GetActivePmic and the slot must return within the board's budgets, write only registers that
// some built-in board's boot or slot call, or the same call without fuzzed answers, writes, and
// never write a value built on a failed read.
#include "fuzz/FuzzedBoard.h"
#include "tools/boardsim/analysis/Selection.h"
#include "tools/run/HostRun.h"
#include "tools/run/PmicSlots.h"
#include "tools/run/SlotCall.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The board as `boardsim op` starts it, and the slot's run.
sim::BoardConfig AsOpStartsIt(sim::BoardConfig Config) {
  tools::OpenAcpiWindowAsEntryLeavesIt(Config);
  return Config;
}

tools::SlotRun CallOn(fuzz::FuzzedSoc& Board, const tools::SlotRequest& Request) {
  return tools::CallSlotOnHost(Board.Soc.Bus, {.Hobs = Board.Soc.Config().Hobs}, Request);
}

} // namespace

// The boots, and each slot of each built-in board called with zeros.
std::vector<std::vector<sim::Access>> fuzz::ReferenceRuns() {
  std::vector<std::vector<sim::Access>> runs = fuzz::BuiltInBoots();
  for (const sim::BoardConfig& builtIn : fuzz::BuiltInBoards()) {
    const sim::BoardConfig config = AsOpStartsIt(builtIn);
    for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
      const auto& signature = tools::PmicSlots[slot].Signature();
      fuzz::FuzzedSoc board(config);
      const tools::SlotRun run =
          CallOn(board, {.Slot = slot, .Values = std::vector<uint8_t>(signature.ValueCount(), 0)});
      if (!run.Selected || (run.Called && !run.Returned)) {
        fuzz::Finding(std::string("the reference call of ") + tools::PmicSlots[slot].Name + " on " +
                      config.Name + " did not return");
      }
      runs.push_back(board.Accesses());
    }
  }
  return runs;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const sim::BoardConfig config = AsOpStartsIt(fuzz::PickBuiltInBoard(input));
  const size_t slot = input.ConsumeIntegralInRange<size_t>(0, tools::SlotCount - 1);
  const auto& signature = tools::PmicSlots[slot].Signature();
  tools::SlotRequest request{.Slot = slot};
  for (size_t i = 0; i < signature.ValueCount(); ++i) {
    request.Values.push_back(input.ConsumeIntegral<uint8_t>());
  }
  request.NullPointer = signature.TestsNull && input.ConsumeBool();

  fuzz::FuzzedSoc board(config, &input);
  const tools::SlotRun run = CallOn(board, request);
  const std::string what = std::string(tools::PmicSlots[slot].Name) + " on " + config.Name;
  if (!run.Selected || (run.Called && !run.Returned)) {
    fuzz::Finding(what + " did not return: " + run.Failure);
  }
  // The same call on the same board without fuzzed answers: what the caller's arguments make it
  // write (WriteRegister writes the register it is given) is no stray write. Nor is what it
  // writes where detection settles on another variant (sim/FaultOutcome.h), looked at only for a
  // write still unaccounted for.
  const auto sameCall = [&](const sim::BoardConfig& Board) {
    fuzz::FuzzedSoc faultFree(Board);
    CallOn(faultFree, request);
    return faultFree.Accesses();
  };
  sim::ReferenceWrites same(sameCall(config));
  const std::vector<sim::Access>& trace = board.Accesses();
  if (!fuzz::Unaccounted(trace, fuzz::Reference(), &same).empty()) {
    for (const sim::BoardConfig& other :
         sim::OtherSelectionBoards(config, boardsim::DetectionDevices())) {
      same.Add(sameCall(other));
    }
  }
  fuzz::CheckWrites(what, trace, fuzz::Reference(), &same);
  return 0;
}

// One PMIC slot called as `boardsim op` calls it, on a built-in board whose devices answer what
// the fuzzer chooses (FuzzedBoard.h), with fuzzer-chosen arguments. Whatever they answer,
// GetActivePmic and the slot must return within the board's budgets, and write only registers
// that some built-in board's boot or slot call writes, or the register the caller names.
#include "fuzz/FuzzedBoard.h"
#include "sim/Soc.h"
#include "tools/run/HostRun.h"
#include "tools/run/PmicSlots.h"
#include "tools/run/SlotCall.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// The board as `boardsim op` starts it, and the slot's run.
tools::SlotRun CallOn(sim::Soc& Soc, const tools::SlotRequest& Request) {
  return tools::CallSlotOnHost(Soc.Bus, {.Hobs = Soc.Config().Hobs}, Request);
}

sim::BoardConfig AsOpStartsIt(sim::BoardConfig Config) {
  tools::OpenAcpiWindowAsEntryLeavesIt(Config);
  return Config;
}

const fuzz::WrittenRegisters& Reference() {
  static const fuzz::WrittenRegisters reference = [] {
    fuzz::WrittenRegisters written;
    for (const sim::BoardConfig& builtIn : fuzz::BuiltInBoards()) {
      {
        sim::Soc soc(builtIn);
        soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
        tools::RunHostModule(soc.Bus, {.Hobs = builtIn.Hobs});
        written.Add(soc.Bus.GetTrace().Accesses());
      }
      const sim::BoardConfig config = AsOpStartsIt(builtIn);
      for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
        const auto& signature = tools::PmicSlots[slot].Signature();
        sim::Soc soc(config);
        soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
        const tools::SlotRun run =
            CallOn(soc, {.Slot = slot, .Values = std::vector<uint8_t>(signature.ValueCount(), 0)});
        if (!run.Selected || (run.Called && !run.Returned)) {
          fuzz::Finding(std::string("the reference call of ") + tools::PmicSlots[slot].Name +
                        " on " + config.Name + " did not return");
        }
        written.Add(soc.Bus.GetTrace().Accesses());
      }
    }
    return written;
  }();
  return reference;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Reference();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const auto& boards = fuzz::BuiltInBoards();
  const sim::BoardConfig config =
      AsOpStartsIt(boards[input.ConsumeIntegralInRange<size_t>(0, boards.size() - 1)]);
  const size_t slot = input.ConsumeIntegralInRange<size_t>(0, tools::SlotCount - 1);
  const auto& signature = tools::PmicSlots[slot].Signature();
  tools::SlotRequest request{.Slot = slot};
  for (size_t i = 0; i < signature.ValueCount(); ++i) {
    request.Values.push_back(input.ConsumeIntegral<uint8_t>());
  }
  request.NullPointer = signature.TestsNull && input.ConsumeBool();

  sim::Soc soc(config);
  soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  fuzz::FuzzedAnswers answers(input);
  soc.Bus.SetReadAnswers(&answers);
  const tools::SlotRun run = CallOn(soc, request);
  const std::string what = std::string(tools::PmicSlots[slot].Name) + " on " + config.Name;
  if (!run.Selected || (run.Called && !run.Returned)) {
    fuzz::Finding(what + " did not return: " + run.Failure);
  }
  // WriteRegister and WriteAuxRegister write the register their caller names.
  const std::optional<uint8_t> named = tools::PmicSlots[slot].Shape == tools::SlotShape::WriteByte
                                           ? std::optional(request.Values[0])
                                           : std::nullopt;
  if (const auto stray = Reference().FirstOutside(soc.Bus.GetTrace().Accesses(), named)) {
    fuzz::Finding(what + " made " + *stray + ", which no built-in board's run makes");
  }
  return 0;
}

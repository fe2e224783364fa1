// A whole boot of the host build on a built-in board whose devices answer what the fuzzer
// chooses (FuzzedBoard.h). Whatever they answer, the module must return within the board's
// budgets, write only registers that some built-in board's boot writes, and never write a value
// built on a failed read.
#include "fuzz/FuzzedBoard.h"
#include "sim/Soc.h"
#include "tools/run/HostRun.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

const sim::ReferenceWrites& Reference() {
  static const sim::ReferenceWrites reference = fuzz::ReferenceOf(fuzz::BuiltInBoots());
  return reference;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Reference();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const sim::BoardConfig& config = fuzz::PickBuiltInBoard(input);
  sim::Soc soc(config);
  soc.Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  fuzz::FuzzedAnswers answers(input);
  soc.Bus.SetReadAnswers(&answers);
  const tools::RunResult result = tools::RunHostModule(soc.Bus, {.Hobs = config.Hobs});
  if (!result.Status) {
    fuzz::Finding("the boot on " + config.Name + " did not return: " + result.Failure);
  }
  fuzz::CheckWrites("the boot on " + config.Name, soc.Bus.GetTrace().Accesses(), Reference());
  return 0;
}

// A whole boot of the host build on a built-in board whose devices answer what the fuzzer
// chooses (FuzzedBoard.h). Whatever they answer, the module must return within the board's
// budgets, write only registers that some built-in board's boot writes, and never write a value
// built on a failed read.
#include "fuzz/FuzzedBoard.h"
#include "tools/run/HostRun.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The fault-free boots of every built-in board.
std::vector<std::vector<sim::Access>> fuzz::ReferenceRuns() {
  return BuiltInBoots();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const sim::BoardConfig& config = fuzz::PickBuiltInBoard(input);
  fuzz::FuzzedSoc board(config, &input);
  const tools::RunResult result = tools::RunHostModule(board.Soc.Bus, {.Hobs = config.Hobs});
  if (!result.Status) {
    fuzz::Finding("the boot on " + config.Name + " did not return: " + result.Failure);
  }
  fuzz::CheckWrites("the boot on " + config.Name, board.Accesses(), fuzz::Reference());
  return 0;
}

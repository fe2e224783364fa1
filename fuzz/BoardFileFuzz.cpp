// The board-file loader on arbitrary text: it either gives a board or refuses with one
// BoardFileError. A board it gives must be one the simulated SoC can be built from, and its HOB
// list one whose walk stays inside it, as the loader promises the runners.
#include "sim/BoardFile.h"
#include "sim/HobWalk.h"
#include "sim/Soc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  sim::BoardConfig config;
  try {
    config = sim::ParseBoardText(text, "fuzz");
  } catch (const sim::BoardFileError&) {
    return 0;
  }
  if (sim::CheckHobWalk(config.Hobs)) {
    std::abort(); // the loader accepted a list it must refuse
  }
  sim::Soc soc(config);
  return 0;
}

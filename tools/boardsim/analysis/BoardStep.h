// What the module did after its GPIO pass, read back from the trace: which PMIC it settled on
// and the pad and PMIC register accesses of its board step, for the run summary.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/Selection.h"

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

enum class StepKind { PmicRead, PmicWrite, PadRead, PadDriven };

// One effect of the board step. PMIC items name Device and Register, pad items Community (its
// offset in the pad block, 0x0000, 0x1000 or 0x2000, as board files and every view write it) and
// Pad.
struct StepItem {
  StepKind Kind;
  uint64_t TimeNs;
  uint16_t Device = 0;
  uint8_t Register = 0;
  std::optional<uint8_t> Value = std::nullopt; // absent: the PMIC did not answer
  uint32_t Community = 0;
  uint32_t Pad = 0;
  bool High = false;
  uint64_t Seq = 0; // the access (a pad item) or the transaction's first command (a PMIC item)
};

struct BoardStepReport {
  bool GpioPassSeen = false;    // the trace holds the end of the GPIO pass: a boot's trace
  SelectionView Selection;      // which PMIC, and how it was chosen
  std::vector<StepItem> Steps;  // the board step's effects, in order
  sim::decode::BusActivity Bus; // everything on the PMIC bus during the run
};

// Trace may be the whole trace or only its view inputs (sim::TraceKeep): the report is the same.
BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace);

} // namespace boardsim

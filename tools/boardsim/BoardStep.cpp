#include "tools/boardsim/BoardStep.h"

#include "sim/devices/PmTimer.h"
#include "tools/boardsim/BusLines.h"
#include "tools/boardsim/Selection.h"
#include "tools/run/Hex.h"

namespace boardsim {

namespace {

using tools::Hex;

constexpr uint32_t PadBlock = 0xFED0C000;
// The GPIO pass ends with this fixed write (pad 51 of community 0x0000); all that follows is the
// board step.
constexpr uint32_t LastGpioPassRegister = 0xFED0C330;
constexpr uint32_t Pad93Value = 0xFED0C5D8;

std::string PadName(uint32_t Address) {
  const uint32_t offset = Address - PadBlock;
  return "pad " + std::to_string(offset % 0x1000 / 16) + " of " + Hex(offset / 0x1000 * 0x1000, 4);
}

} // namespace

BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace) {
  BoardStepReport report;
  report.Bus = sim::decode::DecodeBus(Trace);

  size_t stepStart = Trace.size();
  for (size_t i = Trace.size(); i-- > 0;) {
    if (Trace[i].Op == sim::AccessOp::Write && Trace[i].Address == LastGpioPassRegister) {
      stepStart = i + 1;
      break;
    }
  }
  const uint64_t stepTime = stepStart < Trace.size() ? Trace[stepStart].TimeNs : UINT64_MAX;

  // Only the variant-5 board step reads pad 93; it runs exactly when the descriptor says 5.
  bool variant5Step = false;
  for (size_t i = stepStart; i < Trace.size(); ++i) {
    variant5Step |= Trace[i].Op == sim::AccessOp::Read && Trace[i].Address == Pad93Value;
  }
  SelectionTrace selection;
  for (const sim::decode::I2cTransaction& t : report.Bus.I2c) {
    if (t.TimeNs >= stepTime) {
      selection.Transactions.push_back(t);
    }
  }
  if (variant5Step) {
    selection.VariantId = 5;
  }
  // A descriptor HOB is taken without a single register access. After one, the step starts with
  // its own PMIC read (variant 5) or with the settle wait's timer reads; detection would have
  // asked 0x34 first, and every Detect starts on the PMIC bus, never with a wait.
  if (variant5Step) {
    selection.Accessed =
        !selection.Transactions.empty() && IsIdentificationRead(selection.Transactions[0]);
  } else {
    // A trace that keeps only the view inputs has no timer reads: the step then starts with a
    // gap in the sequence numbers.
    selection.Accessed =
        stepStart < Trace.size() && Trace[stepStart].Seq == Trace[stepStart - 1].Seq + 1 &&
        !(Trace[stepStart].Op == sim::AccessOp::In && Trace[stepStart].Address == sim::PmTimerPort);
  }
  report.Selection = DescribeSelection(selection);

  // Pad and PMIC effects of the board step, in trace order.
  size_t nextTransaction = 0;
  for (size_t i = stepStart; i < Trace.size(); ++i) {
    const sim::Access& access = Trace[i];
    while (nextTransaction < report.Bus.I2c.size() &&
           report.Bus.I2c[nextTransaction].TimeNs <= access.TimeNs) {
      const sim::decode::I2cTransaction& t = report.Bus.I2c[nextTransaction++];
      if (t.TimeNs >= stepTime && t.HasRegister && !IsIdentificationRead(t)) {
        report.Steps.push_back("PMIC " + Hex(t.Device, 2) + " register " + Hex(t.Register, 2) +
                               (t.Read ? " read " : " written ") +
                               (t.HasValue && !t.Aborted ? Hex(t.Value, 2) : "(no answer)"));
      }
    }
    if (access.Address < PadBlock || access.Address >= PadBlock + 0x3000 ||
        access.Op == sim::AccessOp::In || access.Op == sim::AccessOp::Out) {
      continue;
    }
    if (access.Address == Pad93Value && access.Op == sim::AccessOp::Read) {
      report.Steps.push_back(std::string("pad 93 of 0x0000 reads ") +
                             ((access.Value & 1) != 0 ? "high" : "low"));
    } else if (access.Op == sim::AccessOp::Write) {
      report.Steps.push_back(PadName(access.Address) + " driven " +
                             ((access.Value & 1) != 0 ? "high" : "low") + " at " +
                             Milliseconds(access.TimeNs));
    }
  }
  while (nextTransaction < report.Bus.I2c.size()) {
    const sim::decode::I2cTransaction& t = report.Bus.I2c[nextTransaction++];
    if (t.TimeNs >= stepTime && t.HasRegister && !IsIdentificationRead(t)) {
      report.Steps.push_back("PMIC " + Hex(t.Device, 2) + " register " + Hex(t.Register, 2) +
                             (t.Read ? " read " : " written ") +
                             (t.HasValue && !t.Aborted ? Hex(t.Value, 2) : "(no answer)"));
    }
  }
  return report;
}

} // namespace boardsim

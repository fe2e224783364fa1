#include "tools/boardsim/analysis/BoardStep.h"

#include "board/BoardTables.h"
#include "common/Format.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/PmTimer.h"
#include "tools/boardsim/analysis/Selection.h"

namespace boardsim {

namespace {

using tools::Hex;

constexpr uint32_t PadBlock = sim::GpioBlockBase;
constexpr uint32_t PadBlockSize = sim::GpioBlockSize; // three communities
// The GPIO pass ends with this fixed write (pad 51 of community 0x0000); all that follows is the
// board step.
constexpr uint32_t LastGpioPassRegister = 0xFED0C330;
// The pad whose level the variant-5 step reads: the board's, from the description the module was
// built from.
constexpr uint32_t LevelPadValue =
    sim::GpioBlockBase + BoardStepLevelCommunity + sim::PadOffset(0, BoardStepLevelPad) + 8;

constexpr uint32_t CommunitySize = 0x1000;
constexpr uint32_t PadRegisterSize = 16;

StepItem PadItem(StepKind Kind, const sim::Access& A) {
  const uint32_t offset = A.Address - PadBlock;
  StepItem item{.Kind = Kind, .TimeNs = A.TimeNs};
  item.Community = offset / CommunitySize * CommunitySize;
  item.Pad = offset % CommunitySize / PadRegisterSize;
  item.High = (A.Value & 1) != 0;
  item.Seq = A.Seq;
  return item;
}

// A register access of the step's own; detection's identification reads belong to the selection.
void AddPmicItem(std::vector<StepItem>& Steps, const sim::decode::I2cTransaction& T,
                 uint64_t StepTime) {
  if (T.TimeNs < StepTime || !T.HasRegister || IsIdentificationRead(T)) {
    return;
  }
  StepItem item{.Kind = T.Read ? StepKind::PmicRead : StepKind::PmicWrite, .TimeNs = T.TimeNs};
  item.Device = T.Device;
  item.Register = T.Register;
  item.Seq = T.FirstSeq;
  if (T.HasValue && !T.Aborted) {
    item.Value = T.Value;
  }
  Steps.push_back(item);
}

// The index of the GPIO pass's last write, when the trace holds one. The entry's early pads write
// the same register first: a run stopped before the pass ends holds only that one write.
std::optional<size_t> LastGpioPassWrite(const std::vector<sim::Access>& Trace) {
  std::optional<size_t> last;
  unsigned writes = 0;
  for (size_t i = 0; i < Trace.size(); ++i) {
    if (Trace[i].Op == sim::AccessOp::Write && Trace[i].Address == LastGpioPassRegister) {
      last = i;
      ++writes;
    }
  }
  return writes >= 2 ? last : std::nullopt;
}

} // namespace

BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace) {
  BoardStepReport report;
  report.Bus = sim::decode::DecodeBus(Trace);

  const std::optional<size_t> passEnd = LastGpioPassWrite(Trace);
  report.GpioPassSeen = passEnd.has_value();
  const size_t stepStart = passEnd ? *passEnd + 1 : Trace.size();
  const uint64_t stepTime = stepStart < Trace.size() ? Trace[stepStart].TimeNs : UINT64_MAX;

  // Only the variant-5 board step reads its level pad; it runs exactly when the descriptor says 5.
  bool variant5Step = false;
  for (size_t i = stepStart; i < Trace.size(); ++i) {
    variant5Step |= Trace[i].Op == sim::AccessOp::Read && Trace[i].Address == LevelPadValue;
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
  selection.MovedOn = false;
  for (size_t i = stepStart; i < Trace.size() && !selection.MovedOn; ++i) {
    selection.MovedOn = Trace[i].Address >= PadBlock &&
                        Trace[i].Address < PadBlock + PadBlockSize &&
                        Trace[i].Op != sim::AccessOp::In && Trace[i].Op != sim::AccessOp::Out;
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
  report.Selection = ReadSelection(selection);
  if (stepStart >= Trace.size()) {
    // The run ended in the GPIO pass or right at its end: selection never started.
    report.Selection = {std::nullopt, SelectionSource::Unfinished, {}};
  }

  // Pad and PMIC effects of the board step, in trace order. While selection has not finished,
  // every transaction is still detection's.
  size_t nextTransaction =
      report.Selection.Source == SelectionSource::Unfinished ? report.Bus.I2c.size() : 0;
  for (size_t i = stepStart; i < Trace.size(); ++i) {
    const sim::Access& access = Trace[i];
    while (nextTransaction < report.Bus.I2c.size() &&
           report.Bus.I2c[nextTransaction].TimeNs <= access.TimeNs) {
      AddPmicItem(report.Steps, report.Bus.I2c[nextTransaction++], stepTime);
    }
    if (access.Address < PadBlock || access.Address >= PadBlock + PadBlockSize ||
        access.Op == sim::AccessOp::In || access.Op == sim::AccessOp::Out) {
      continue;
    }
    if (access.Address == LevelPadValue && access.Op == sim::AccessOp::Read) {
      report.Steps.push_back(PadItem(StepKind::PadRead, access));
    } else if (access.Op == sim::AccessOp::Write) {
      report.Steps.push_back(PadItem(StepKind::PadDriven, access));
    }
  }
  while (nextTransaction < report.Bus.I2c.size()) {
    AddPmicItem(report.Steps, report.Bus.I2c[nextTransaction++], stepTime);
  }
  return report;
}

} // namespace boardsim

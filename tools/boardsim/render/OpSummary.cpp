#include "tools/boardsim/render/OpSummary.h"

#include "common/Format.h"
#include "common/Printable.h"
#include "tools/boardsim/analysis/RunPhases.h"
#include "tools/boardsim/analysis/Selection.h"
#include "tools/boardsim/render/BusLines.h"
#include "tools/boardsim/render/PadLines.h"
#include "tools/boardsim/render/StepLines.h"
#include "tools/boardsim/render/Summary.h"
#include "tools/run/StatusName.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

namespace {

using tools::Hex;

// Everything before the slot: board, form, the ACPI window, and the selection with its traffic.
// False when GetActivePmic did not return, which the status line then explains.
bool PrintSelection(std::ostream& Out, const OpReport& Report, const OpView& View,
                    const sim::Board& Board) {
  PrintHeader(Out, Report.Header);
  Out << "acpi      "
      << (Report.AcpiOpened ? "window opened at 0x400 before the call, as the module's entry "
                              "leaves it"
                            : "window already open on this board")
      << '\n';
  if (!View.Pmic) {
    Out << "status    GetActivePmic did not return: "
        << DescribeFailure(Report.Run.Failure, Board.GetTrace()) << '\n';
    return false;
  }
  Out << "pmic      " << DescribeSelection(*View.Pmic) << '\n';
  Out << "selection " << CountBusActivity(View.SelectionBus) << " in "
      << tools::Milliseconds(Report.Run.SelectionEndNs) << '\n';
  for (const std::string& line : DescribeBusActivity(View.SelectionBus, Report.Listing)) {
    Out << "  " << line << '\n';
  }
  return true;
}

std::string FormatStored(const tools::SlotRequest& Request, const tools::SlotRun& Run) {
  const tools::SlotSignature& signature = tools::PmicSlots[Request.Slot].Signature();
  if (Request.NullPointer) {
    return std::string("nothing, ") + signature.Pointers[0].Name + " is null";
  }
  std::string stored;
  for (size_t i = 0; i < Run.Stored.size(); ++i) {
    const tools::SlotPointer& pointer = signature.Pointers[i];
    stored += (i == 0 ? "" : ", ") + std::string(pointer.Name) + " " +
              Hex(Run.Stored[i], 2 * pointer.Width);
  }
  return stored;
}

} // namespace

std::string FormatReturned(tools::SlotReturn Returns, uint32_t Value) {
  switch (Returns) {
  case tools::SlotReturn::Status:
    return tools::StatusName(Value);
  case tools::SlotReturn::Boolean:
    return Value == 1 ? "1 (TRUE)" : Value == 0 ? "0 (FALSE)" : Hex(Value, 2) + " (not a BOOLEAN)";
  case tools::SlotReturn::Byte:
    return Hex(Value, 2);
  case tools::SlotReturn::Millivolts:
    return std::to_string(Value) + " mV";
  }
  return Hex(Value, 8);
}

std::string FormatCall(const tools::SlotRequest& Request) {
  const tools::PmicSlot& slot = tools::PmicSlots[Request.Slot];
  const tools::SlotSignature& signature = slot.Signature();
  std::string arguments;
  for (const uint8_t value : Request.Values) {
    arguments += (arguments.empty() ? "" : ", ") + Hex(value, 2);
  }
  for (size_t i = 0; i < signature.PointerCount(); ++i) {
    arguments +=
        (arguments.empty() ? "" : ", ") +
        (Request.NullPointer ? std::string("NULL") : std::string("&") + signature.Pointers[i].Name);
  }
  return std::string(slot.Name) + "(" + arguments + ")";
}

OpView ViewOp(const OpReport& Report, const sim::Board& Board) {
  const sim::decode::BusActivity bus = sim::decode::DecodeBus(Board.GetTrace().Accesses());
  OpView view;
  if (Report.Run.Selected) {
    view.SelectionBus = BusActivityBetween(bus, 0, Report.Run.SelectionEndNs);
    view.Pmic = ReadSelection(
        {Report.Run.SelectionAccesses > 0, view.SelectionBus.I2c, Report.Run.VariantId});
  }
  view.SlotBus = BusActivityBetween(bus, Report.Run.SelectionEndNs, UINT64_MAX);
  view.SlotNs = Board.GetClock().NowNs() - Report.Run.SelectionEndNs;
  return view;
}

namespace {

void PrintCall(std::ostream& Out, const OpReport& Report, const sim::Board& Board) {
  const OpView view = ViewOp(Report, Board);
  if (!PrintSelection(Out, Report, view, Board) || !Report.Request || !Report.Run.Called) {
    return;
  }
  const tools::SlotRequest& request = *Report.Request;
  Out << "call      " << FormatCall(request) << '\n';
  if (!Report.Run.Returned) {
    Out << "status    did not return: " << DescribeFailure(Report.Run.Failure, Board.GetTrace())
        << '\n';
    return;
  }
  const tools::SlotSignature& signature = tools::PmicSlots[request.Slot].Signature();
  Out << "returned  " << FormatReturned(signature.Returns, *Report.Run.Returned) << '\n';
  if (signature.PointerCount() > 0) {
    Out << "stored    " << FormatStored(request, Report.Run) << '\n';
  }
  Out << "slot bus  " << CountBusActivity(view.SlotBus) << " in "
      << tools::Milliseconds(view.SlotNs) << '\n';
  for (const std::string& line : DescribeBusActivity(view.SlotBus, Report.Listing)) {
    Out << "  " << line << '\n';
  }
}

void PrintWaveform(std::ostream& Out, const OpReport& Report) {
  if (Report.Waveform) {
    Out << "waveform  " << DescribeWaveform(*Report.Waveform) << '\n';
  }
}

} // namespace

void PrintOpSummary(std::ostream& Out, const OpReport& Report, const sim::Board& Board) {
  PrintCall(Out, Report, Board);
  if (Report.Run.StackUsed) {
    Out << "stack     " << DescribeStack(*Report.Run.StackUsed, Report.StackBytes) << '\n';
  }
  PrintWaveform(Out, Report);
}

void PrintSlotList(std::ostream& Out, const OpReport& Report, const sim::Board& Board) {
  if (!PrintSelection(Out, Report, ViewOp(Report, Board), Board)) {
    PrintWaveform(Out, Report);
    return;
  }
  constexpr int SignatureWidth = 60;
  Out << "slot  " << std::left << std::setw(SignatureWidth) << "signature"
      << "variant " << VariantName(Report.Run.VariantId) << '\n';
  for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
    Out << std::right << std::setw(4) << slot << "  " << std::left << std::setw(SignatureWidth)
        << tools::CSignature(tools::PmicSlots[slot])
        << (Report.Run.Filled[slot] ? "filled" : "null") << '\n';
  }
  Out << std::right;
  PrintWaveform(Out, Report);
}

void PrintOpText(std::ostream& Out, const OpReport& Report, const sim::Board& Board, bool List) {
  if (List) {
    PrintSlotList(Out, Report, Board);
  } else {
    PrintOpSummary(Out, Report, Board);
  }
  if (Report.PadDetail) {
    Out << "pads\n";
    for (const std::string& line : DescribePads(*Report.PadDetail)) {
      Out << "  " << line << '\n';
    }
  }
}

std::vector<PadRecord> ViewCallPads(const sim::Soc& Soc, const tools::SlotRun& Run,
                                    const std::vector<PadState>& Before,
                                    const std::vector<PadRef>& Wanted) {
  const std::vector<sim::Access>& accesses = Soc.Bus.GetTrace().Accesses();
  const std::optional<uint64_t> callStart =
      Run.Selected ? std::optional(Run.SelectionEndNs) : std::nullopt;
  return ViewPads(
      accesses,
      FindPhases(accesses, sim::decode::DecodeBus(accesses), Soc.Bus.GetClock().NowNs(), callStart),
      Before, SnapshotPads(Soc.Gpio), Wanted);
}

} // namespace boardsim

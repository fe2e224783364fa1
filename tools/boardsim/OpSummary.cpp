#include "tools/boardsim/OpSummary.h"

#include "tools/boardsim/BusLines.h"
#include "tools/boardsim/Selection.h"
#include "tools/run/Hex.h"
#include "tools/run/Printable.h"
#include "tools/run/StatusName.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

namespace {

using tools::Hex;

// Everything before the slot: board, form, the ACPI window, and the selection with its traffic.
// False when GetActivePmic did not return, which the status line then explains.
bool PrintSelection(std::ostream& Out, const OpReport& Report,
                    const sim::decode::BusActivity& Bus) {
  Out << "board     " << tools::Printable(Report.BoardName) << " ("
      << tools::Printable(Report.BoardPath) << ")\n";
  Out << "module    " << Report.Module << '\n';
  Out << "acpi      "
      << (Report.AcpiOpened ? "window opened at 0x400 before the call, as the module's entry "
                              "leaves it"
                            : "window already open on this board")
      << '\n';
  if (!Report.Run.Selected) {
    Out << "status    GetActivePmic did not return: " << Report.Run.Failure << '\n';
    return false;
  }
  const sim::decode::BusActivity selection = BusActivityBetween(Bus, 0, Report.Run.SelectionEndNs);
  SelectionTrace evidence{Report.Run.SelectionAccesses > 0, selection.I2c, Report.Run.VariantId};
  Out << "pmic      " << DescribeSelection(evidence) << '\n';
  Out << "selection " << CountBusActivity(selection) << " in "
      << Milliseconds(Report.Run.SelectionEndNs) << '\n';
  for (const std::string& line : DescribeBusActivity(selection)) {
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
  case tools::SlotReturn::Number:
    return std::to_string(Value);
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

void PrintOpSummary(std::ostream& Out, const OpReport& Report, const sim::Board& Board) {
  const sim::decode::BusActivity bus = sim::decode::DecodeBus(Board.GetTrace().Accesses());
  if (!PrintSelection(Out, Report, bus) || !Report.Request || !Report.Run.Called) {
    return;
  }
  const tools::SlotRequest& request = *Report.Request;
  Out << "call      " << FormatCall(request) << '\n';
  if (!Report.Run.Returned) {
    Out << "status    did not return: " << Report.Run.Failure << '\n';
    return;
  }
  const tools::SlotSignature& signature = tools::PmicSlots[request.Slot].Signature();
  Out << "returned  " << FormatReturned(signature.Returns, *Report.Run.Returned) << '\n';
  if (signature.PointerCount() > 0) {
    Out << "stored    " << FormatStored(request, Report.Run) << '\n';
  }
  const sim::decode::BusActivity slot =
      BusActivityBetween(bus, Report.Run.SelectionEndNs, UINT64_MAX);
  Out << "slot bus  " << CountBusActivity(slot) << " in "
      << Milliseconds(Board.GetClock().NowNs() - Report.Run.SelectionEndNs) << '\n';
  for (const std::string& line : DescribeBusActivity(slot)) {
    Out << "  " << line << '\n';
  }
}

void PrintSlotList(std::ostream& Out, const OpReport& Report, const sim::Board& Board) {
  if (!PrintSelection(Out, Report, sim::decode::DecodeBus(Board.GetTrace().Accesses()))) {
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
}

} // namespace boardsim

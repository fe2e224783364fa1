// The summary of one PMIC slot call: which descriptor GetActivePmic chose and why, the call with
// its arguments, what it returned and stored, and the PMIC bus traffic of each part, all read
// back from the run and its trace.
#pragma once

#include "sim/Board.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/analysis/Selection.h"
#include "tools/boardsim/render/Summary.h"
#include "tools/run/SlotCall.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace boardsim {

struct OpReport {
  RunHeader Header;
  bool AcpiOpened = false; // the tool opened the ACPI window before the call
  std::optional<tools::SlotRequest> Request;
  tools::SlotRun Run;
  BusListing Listing;
  std::optional<WaveformReport> Waveform;                         // with --vcd
  uint32_t StackBytes = 0;                                        // the stack the image had
  std::optional<std::vector<PadRecord>> PadDetail = std::nullopt; // --pads
};

// What the summary shows of a call, derived once from the run and its trace.
struct OpView {
  std::optional<SelectionView> Pmic;     // absent when GetActivePmic did not return
  sim::decode::BusActivity SelectionBus; // GetActivePmic's own traffic
  sim::decode::BusActivity SlotBus;      // the slot's
  uint64_t SlotNs = 0;                   // from GetActivePmic's return to the end of the run
};

OpView ViewOp(const OpReport& Report, const sim::Board& Board);

// The slot's own result: "EFI_SUCCESS", "1 (TRUE)", "0x41", "4590".
std::string FormatReturned(tools::SlotReturn Returns, uint32_t Value);
// "WriteRegister(0x30, 0x85)", "GetIdentity(&Id, &Revision)", "GetStatus1(NULL)"
std::string FormatCall(const tools::SlotRequest& Request);

void PrintOpSummary(std::ostream& Out, const OpReport& Report, const sim::Board& Board);
// The 25 slots with their C signatures and whether the chosen descriptor fills each.
void PrintSlotList(std::ostream& Out, const OpReport& Report, const sim::Board& Board);
// What op prints: the summary, or with List the slot list; then the pads' detail, if asked for.
void PrintOpText(std::ostream& Out, const OpReport& Report, const sim::Board& Board, bool List);

// The pads' detail of a call made on Soc, whose pads were Before at its start: every pad it
// accessed (Wanted empty), or those Wanted.
std::vector<PadRecord> ViewCallPads(const sim::Soc& Soc, const tools::SlotRun& Run,
                                    const std::vector<PadState>& Before,
                                    const std::vector<PadRef>& Wanted);

} // namespace boardsim

#include "tools/boardsim/python/PySession.h"
#include "tools/boardsim/analysis/BusWire.h"
#include "tools/boardsim/op/SlotArguments.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyInstallation.h"
#include "tools/boardsim/render/SummaryJson.h"
#include "tools/boardsim/render/Vcd.h"
#include "tools/boardsim/session/RunModule.h"

#include <sstream>

namespace boardsim::python {

BoardSession::BoardSession(RunOptions Options)
    : options_(std::move(Options)), board_(Classified(ErrorKind::Board, [&] {
        return LoadBoard(options_.Board, Where().BoardsDir);
      })) {
  Classified(ErrorKind::Fault, [&] { ApplyFaultOptions(options_.Faults, board_.Config); });
}

void BoardSession::StartBoard() {
  soc_ = std::make_unique<sim::Soc>(board_.Config);
  soc_->Bus.GetTrace().SetKeep(sim::TraceKeep::ViewInputs);
  padsBefore_ = SnapshotPads(soc_->Gpio);
}

const std::vector<sim::Access>& BoardSession::WholeTrace() {
  const std::lock_guard<std::mutex> hold(replayed_);
  if (!replay_) {
    auto board = std::make_unique<sim::Soc>(board_.Config);
    Replay(*board);
    board->RunOver();
    const sim::Trace& first = soc_->Bus.GetTrace();
    const sim::Trace& again = board->Bus.GetTrace();
    if (again.Count() != first.Count() || again.Digest() != first.Digest()) {
      throw tools::ToolError("boardsim: trace: the run made again for its trace went otherwise (" +
                                 std::to_string(again.Count()) + " accesses against " +
                                 std::to_string(first.Count()) +
                                 "): was the image replaced meanwhile?",
                             tools::ExitRunFailed);
    }
    replay_ = std::move(board);
  }
  return replay_->Bus.GetTrace().Accesses();
}

void BoardSession::FinishBoard() {
  soc_->RunOver();
  faults_ = Header().Faults;
  NoteStrikes(faults_, *soc_);
}

const std::vector<std::string>& BoardSession::PadNames() {
  if (!padNames_) {
    std::vector<std::string> names;
    for (PadRecord& record : DetailPads()) {
      names.push_back(FormatPadRef(record.Pad));
      padRecords_.insert_or_assign(names.back(), std::move(record));
    }
    padNames_ = std::move(names);
  }
  return *padNames_;
}

// The pads the options name, as --pads gives them: none named, every pad the run accessed; with
// "changed", only those the run changed.
std::vector<PadRecord> BoardSession::DetailPads() {
  std::vector<PadRecord> records = Pads(options_.Pads.value_or(std::vector<PadRef>{}));
  if (options_.PadsChangedOnly) {
    KeepChanged(records);
  }
  return records;
}

// A pad the run did not access reads as it was, with no accesses, and with its table row if any.
const PadRecord& BoardSession::Pad(const PadRef& Which) {
  PadNames();
  const std::string name = FormatPadRef(Which);
  auto found = padRecords_.find(name);
  if (found == padRecords_.end()) {
    found = padRecords_.emplace(name, Pads({Which}).at(0)).first;
  }
  return found->second;
}

RunHeader BoardSession::Header() const {
  return HeaderOf(board_, options_, Where().BuiltImage);
}

void BootSession::Run() {
  StartBoard();
  ModuleRun run = Classified(ErrorKind::Image,
                             [&] { return RunModule(Options(), Machine(), Where().BuiltImage); });
  result_ = std::move(run.Result);
  module_ = std::move(run.Module);
  FinishBoard();
}

void BootSession::Replay(sim::Soc& Board) const {
  RunModule(Options(), Board, Where().BuiltImage);
}

// As boardsim run reports a boot (run/RunCommand.cpp), without the waveform and the page.
const RunReport& BootSession::Report() {
  if (!report_) {
    RunHeader header = Header();
    header.Faults = Faults();
    report_ = ReportRun(std::move(header), result_, Soc(), PadsBefore());
    report_->StackUsed = result_.StackUsed;
    report_->StackBytes = StackBytesOf(Board().Config);
    report_->Listing = {WireEndsOf(report_->Step.Bus, Board().Config, RunEndNs(Accesses())),
                        Options().All};
    if (Options().Pads) {
      report_->PadDetail = DetailPads();
    }
  }
  return *report_;
}

std::vector<PadRecord> BootSession::Pads(const std::vector<PadRef>& Wanted) {
  return ViewRunPads(Report(), Soc(), PadsBefore(), Wanted);
}

std::string BootSession::Text() {
  std::ostringstream out;
  PrintSummary(out, Report(), Soc().Bus);
  return out.str();
}

nlohmann::ordered_json BootSession::Document() {
  return RunDocument(Report(), Soc().Bus);
}

CallSession::CallSession(RunOptions Options, const std::string& Slot,
                         const std::vector<std::string>& Args)
    : BoardSession(std::move(Options)),
      request_(Classified(ErrorKind::Slot, [&] { return ParseSlot(Slot, Args); })) {
  // Other modules call the library after the module's entry has opened the ACPI window, whose
  // PM timer the library's waits count (op/OpCommand.cpp).
  opened_ = tools::OpenAcpiWindowAsEntryLeavesIt(Config());
}

void CallSession::Run() {
  StartBoard();
  ModuleSlotCall call = Classified(ErrorKind::Image, [&] {
    return CallSlot(Options(), Machine(), Where().BuiltImage, request_);
  });
  result_ = std::move(call.Run);
  FinishBoard();
}

void CallSession::Replay(sim::Soc& Board) const {
  CallSlot(Options(), Board, Where().BuiltImage, request_);
}

// As boardsim op reports a call (op/OpCommand.cpp), without the waveform and the page.
const OpReport& CallSession::Report() {
  if (!report_) {
    RunHeader header = Header();
    header.Faults = Faults();
    const std::vector<sim::Access>& accesses = Accesses();
    report_ =
        OpReport{std::move(header),
                 opened_,
                 request_,
                 result_,
                 {WireEndsOf(sim::decode::DecodeBus(accesses), Board().Config, RunEndNs(accesses)),
                  Options().All},
                 std::nullopt};
    report_->StackBytes = StackBytesOf(Board().Config);
    if (Options().Pads) {
      report_->PadDetail = DetailPads();
    }
  }
  return *report_;
}

std::vector<PadRecord> CallSession::Pads(const std::vector<PadRef>& Wanted) {
  return ViewCallPads(Soc(), result_, PadsBefore(), Wanted);
}

std::string CallSession::Text() {
  std::ostringstream out;
  PrintOpText(out, Report(), Soc().Bus, false);
  return out.str();
}

nlohmann::ordered_json CallSession::Document() {
  return OpDocument(Report(), Soc().Bus, false);
}

} // namespace boardsim::python

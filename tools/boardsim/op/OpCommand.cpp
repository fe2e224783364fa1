#include "tools/boardsim/op/OpCommand.h"
#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "common/files/StandardStreams.h"
#include "sim/Soc.h"
#include "tools/boardsim/analysis/Selection.h"
#include "tools/boardsim/expect/ExpectRun.h"
#include "tools/boardsim/render/JsonViews.h"
#include "tools/boardsim/render/OpSummary.h"
#include "tools/boardsim/render/Page.h"
#include "tools/boardsim/render/SummaryJson.h"
#include "tools/boardsim/render/Vcd.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/boardsim/session/Contained.h"
#include "tools/boardsim/session/GdbOption.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/boardsim/session/SourceLines.h"

#include <iostream>

namespace boardsim {

namespace {

// 1 for a call that did not return or a slot the descriptor does not fill, said on standard
// error after the summary.
int OpExitStatus(const OpOptions& Options, const tools::SlotRun& Run, std::ostream& Out) {
  if (!Run.Failure.empty()) {
    return tools::ExitRunFailed;
  }
  if (Options.Slot && !Run.Called) {
    Out.flush();
    std::cerr << tools::PmicSlots[Options.Slot->Slot].Name << " is not offered by variant "
              << VariantName(Run.VariantId) << '\n';
    return tools::ExitRunFailed;
  }
  return 0;
}

// The verdicts of --expect, as run gives them (run/RunCommand.cpp).
int CheckExpected(ExpectSession& Expect, const RunOptions& Options, const sim::Soc& Soc,
                  const tools::SlotRun& Run, const std::vector<PadState>& PadsBefore,
                  const nlohmann::ordered_json& Document, std::ostream& Out) {
  if (!Expect.Wanted()) {
    return 0;
  }
  const std::vector<PadRef> pads = Expect.PadsNamed();
  const nlohmann::ordered_json detail = pads.empty()
                                            ? nlohmann::ordered_json::array()
                                            : PadsJson(ViewCallPads(Soc, Run, PadsBefore, pads));
  return Expect.Finish(Document, detail, Soc.Config().Name, Options.Json ? std::cerr : Out);
}

} // namespace

int OpCommand(const OpOptions& Options, const Installation& Where) {
  const OpOptions& options = Options;
  LoadedBoard board = LoadBoard(options.Run.Board, Where.BoardsDir);
  ApplyFaultOptions(options.Run.Faults, board.Config);
  // The library's delays and semaphore waits count PM-timer ticks; on a board that leaves the
  // ACPI window closed they would spin on a timer that never moves. Other modules call the
  // library after this module's entry has opened the window, so the board starts the way the
  // entry leaves it, without any module access: the trace holds only GetActivePmic and the slot.
  const bool opened = tools::OpenAcpiWindowAsEntryLeavesIt(board.Config);

  ExpectSession expect(options.Run, ExpectingOf::Op);
  RefuseSharedFiles(options.Run, board.Path, Where.BuiltImage, true);
  expect.Open();
  const std::unique_ptr<SourceLines> sources = SourcesFor(options.Run, Where.BuiltImage);
  TraceOutput trace(options.Run.TracePath, sources.get());
  VcdOutput vcd(options.Run.VcdPath);
  PageOutput page(options.Run.HtmlPath);
  const auto gdb = ListenForGdb(options.Run, Where.BuiltImage, true, std::cerr);

  const auto callSlot = [&] {
    sim::Soc soc(board.Config);
    trace.Start(soc.Bus, gdb != nullptr);
    const auto padsBefore = SnapshotPads(soc.Gpio);
    const auto debugger = AcceptGdb(gdb.get(), soc, options.Run);
    const ModuleSlotCall call =
        CallSlot(options.Run, soc, Where.BuiltImage, options.Slot, debugger.get());
    if (debugger) {
      const bool done = call.Run.Failure.empty() && (!options.Slot || call.Run.Called);
      debugger->Finish(done ? 0 : tools::ExitRunFailed);
    }
    trace.Finish(soc.Bus);
    soc.RunOver();
    const std::vector<sim::Access>& accesses = soc.Bus.GetTrace().Accesses();
    OpReport report{HeaderOf(board, options.Run, Where.BuiltImage),
                    opened,
                    options.Slot,
                    call.Run,
                    {WireEndsOf(sim::decode::DecodeBus(accesses), board.Config, RunEndNs(accesses)),
                     options.Run.All},
                    vcd.Write(accesses, board.Config)};
    report.StackBytes = StackBytesOf(board.Config);
    NoteStrikes(report.Header.Faults, soc);
    if (page.Wanted()) {
      const std::string detail = PadsText(ViewCallPads(soc, call.Run, padsBefore, {}));
      page.Write(OpDocument(report, soc.Bus, options.List), "boardsim op " + board.Config.Name,
                 &detail);
    }
    if (options.Run.Pads) {
      report.PadDetail = ViewCallPads(soc, call.Run, padsBefore, *options.Run.Pads);
      if (options.Run.PadsChangedOnly) {
        KeepChanged(*report.PadDetail);
      }
    }
    std::ostream& out = SummaryStream(options.Run);
    const nlohmann::ordered_json document = options.Run.Json || expect.Wanted()
                                                ? OpDocument(report, soc.Bus, options.List)
                                                : nlohmann::ordered_json();
    if (options.Run.Json) {
      PrintJson(out, document);
    } else {
      PrintOpText(out, report, soc.Bus, options.List);
    }
    const int status = OpExitStatus(options, call.Run, out);
    const int met = CheckExpected(expect, options.Run, soc, call.Run, padsBefore, document, out);
    files::CheckStandardOutput();
    RefuseUndrawnWaveform(report.Waveform);
    return status != 0 ? status : met;
  };
  return options.Run.Host ? callSlot() : RunContained(callSlot);
}

} // namespace boardsim

#include "tools/boardsim/run/RunCommand.h"
#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "common/files/StandardStreams.h"
#include "sim/Soc.h"
#include "tools/boardsim/expect/ExpectRun.h"
#include "tools/boardsim/render/JsonViews.h"
#include "tools/boardsim/render/Page.h"
#include "tools/boardsim/render/Summary.h"
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

// The verdicts of --expect, read from the document --json prints and the detail of the pads the
// file names; beside a JSON summary they go to standard error, so that standard output stays one
// document.
int CheckExpected(ExpectSession& Expect, const RunOptions& Options, const RunReport& Report,
                  const sim::Soc& Soc, const std::vector<PadState>& PadsBefore,
                  const nlohmann::ordered_json& Document, std::ostream& Out) {
  const std::vector<PadRef> pads = Expect.PadsNamed();
  const nlohmann::ordered_json detail = pads.empty()
                                            ? nlohmann::ordered_json::array()
                                            : PadsJson(ViewRunPads(Report, Soc, PadsBefore, pads));
  return Expect.Finish(Document, detail, Report.Header.BoardName, Options.Json ? std::cerr : Out);
}

} // namespace

int RunCommand(const RunOptions& Options, const Installation& Where) {
  LoadedBoard board = LoadBoard(Options.Board, Where.BoardsDir);
  ApplyFaultOptions(Options.Faults, board.Config);
  ExpectSession expect(Options, ExpectingOf::Run);
  RefuseSharedFiles(Options, board.Path, Where.BuiltImage, false);
  expect.Open();
  const std::unique_ptr<SourceLines> sources = SourcesFor(Options, Where.BuiltImage);
  TraceOutput trace(Options.TracePath, sources.get());
  VcdOutput vcd(Options.VcdPath);
  PageOutput page(Options.HtmlPath);
  const auto gdb = ListenForGdb(Options, Where.BuiltImage, false, std::cerr);

  const auto boot = [&] {
    sim::Soc soc(board.Config);
    trace.Start(soc.Bus, gdb != nullptr);
    const auto padsBefore = SnapshotPads(soc.Gpio);
    const auto debugger = AcceptGdb(gdb.get(), soc, Options);
    const ModuleRun run = RunModule(Options, soc, Where.BuiltImage, debugger.get());
    const tools::RunResult& result = run.Result;
    soc.RunOver();
    RunReport report =
        ReportRun(HeaderOf(board, Options, Where.BuiltImage), result, soc, padsBefore);
    NoteStrikes(report.Header.Faults, soc);
    report.StackUsed = result.StackUsed;
    report.StackBytes = StackBytesOf(board.Config);
    trace.Finish(soc.Bus);
    const std::vector<sim::Access>& accesses = soc.Bus.GetTrace().Accesses();
    report.Listing = {WireEndsOf(report.Step.Bus, board.Config, RunEndNs(accesses)), Options.All};
    report.Waveform = vcd.Write(accesses, board.Config);
    if (page.Wanted()) {
      // The page's pad map shows every pad the run accessed, whichever --pads names.
      const std::string detail = PadsText(ViewRunPads(report, soc, padsBefore, {}));
      page.Write(RunDocument(report, soc.Bus), "boardsim run " + board.Config.Name, &detail);
    }
    if (Options.Pads) {
      report.PadDetail = ViewRunPads(report, soc, padsBefore, *Options.Pads);
      if (Options.PadsChangedOnly) {
        KeepChanged(*report.PadDetail);
      }
    }
    // With the trace on standard output, the summary moves out of its way.
    std::ostream& out = SummaryStream(Options);
    const nlohmann::ordered_json document =
        Options.Json || expect.Wanted() ? RunDocument(report, soc.Bus) : nlohmann::ordered_json();
    if (Options.Json) {
      PrintJson(out, document);
    } else {
      PrintSummary(out, report, soc.Bus);
    }
    const int met = expect.Wanted()
                        ? CheckExpected(expect, Options, report, soc, padsBefore, document, out)
                        : 0;
    files::CheckStandardOutput();
    const int status = result.Status ? met : tools::ExitRunFailed;
    if (debugger) {
      debugger->Finish(status);
    }
    RefuseUndrawnWaveform(report.Waveform);
    return status;
  };
  return Options.Host ? boot() : RunContained(boot);
}

} // namespace boardsim

// A boot or a slot call made from Python. The board and its faults are read as run and op read
// them, before anything runs; the module then runs on the caller's thread with nothing of Python
// touched, so the caller can let go of the interpreter; and the board is kept afterwards, so that
// each view (the summary's report, the pads, the JSON document) is drawn from it only when asked.
// Like the tool writing no trace, the board keeps only what the views read; the whole trace is
// had by making the same run again, which goes access for access as the first did.
#pragma once

#include "sim/Soc.h"
#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/render/OpSummary.h"
#include "tools/boardsim/render/Summary.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/boardsim/session/RunOptions.h"
#include "tools/run/HostRun.h"
#include "tools/run/SlotCall.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace boardsim::python {

// What the two kinds of run share: the board as loaded, the board the module ran on and its pads
// before the run.
class BoardSession {
public:
  // Loads Options.Board and puts Options.Faults into it (BoardError, FaultError).
  explicit BoardSession(RunOptions Options);
  virtual ~BoardSession() = default;
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  const RunOptions& Options() const { return options_; }
  const LoadedBoard& Board() const { return board_; }
  const sim::Soc& Soc() const { return *soc_; }
  // What the views read: every access but the reads the board derives from the clock.
  const std::vector<sim::Access>& Accesses() const { return soc_->Bus.GetTrace().Accesses(); }
  // Every access, from the same run made again on a fresh board, once; a run that goes otherwise
  // (the image file replaced meanwhile) is refused. Safe to call from several threads.
  const std::vector<sim::Access>& WholeTrace();
  // Where each fault struck, with the faults as given.
  const RunFaults& Faults() const { return faults_; }

  // The pads Wanted (empty: every pad the run accessed), before and after, with their accesses.
  virtual std::vector<PadRecord> Pads(const std::vector<PadRef>& Wanted) = 0;
  // The pads the options name, as --pads lists them (with "changed", those the run changed).
  std::vector<PadRecord> DetailPads();
  // The pads the views list by name ("0x0000:93"): DetailPads' names; and any one pad, listed or
  // not. Each is drawn once.
  const std::vector<std::string>& PadNames();
  const PadRecord& Pad(const PadRef& Which);
  // The image's: how deep the module wrote into its stack.
  virtual std::optional<uint32_t> StackUsed() const = 0;
  // Why the module did not return; empty when it did.
  virtual const std::string& Failure() const = 0;
  // The summary as the command line prints it, and its JSON document (--json).
  virtual std::string Text() = 0;
  virtual nlohmann::ordered_json Document() = 0;

protected:
  // Before the run: a board of its own, fresh from the configuration.
  void StartBoard();
  // After it: the bus finishes what the module left queued, and the faults' strikes are noted.
  void FinishBoard();
  sim::Soc& Machine() { return *soc_; }
  sim::BoardConfig& Config() { return board_.Config; }
  const std::vector<PadState>& PadsBefore() const { return padsBefore_; }
  RunHeader Header() const;
  // The module run again on Board, as the first run went.
  virtual void Replay(sim::Soc& Board) const = 0;

private:
  RunOptions options_;
  LoadedBoard board_;
  std::unique_ptr<sim::Soc> soc_;
  std::vector<PadState> padsBefore_;
  RunFaults faults_;
  std::mutex replayed_;
  std::unique_ptr<sim::Soc> replay_;
  std::optional<std::vector<std::string>> padNames_;
  std::map<std::string, PadRecord> padRecords_;
};

// boardsim run.
class BootSession final : public BoardSession {
public:
  using BoardSession::BoardSession;
  // The boot; touches nothing of Python. ImageError for an image that does not load.
  void Run();
  const tools::RunResult& Result() const { return result_; }
  const std::string& Module() const { return module_; }
  const RunReport& Report();

  std::vector<PadRecord> Pads(const std::vector<PadRef>& Wanted) override;
  std::optional<uint32_t> StackUsed() const override { return result_.StackUsed; }
  const std::string& Failure() const override { return result_.Failure; }
  std::string Text() override;
  nlohmann::ordered_json Document() override;

private:
  void Replay(sim::Soc& Board) const override;
  tools::RunResult result_;
  std::string module_;
  std::optional<RunReport> report_;
};

// boardsim op: GetActivePmic and one slot, on a board whose ACPI window is open as the module's
// entry leaves it.
class CallSession final : public BoardSession {
public:
  // SlotError for a slot or arguments its signature refuses.
  CallSession(RunOptions Options, const std::string& Slot, const std::vector<std::string>& Args);
  void Run();
  const tools::SlotRun& Result() const { return result_; }
  const tools::SlotRequest& Request() const { return request_; }
  const OpReport& Report();

  std::vector<PadRecord> Pads(const std::vector<PadRef>& Wanted) override;
  std::optional<uint32_t> StackUsed() const override { return result_.StackUsed; }
  const std::string& Failure() const override { return result_.Failure; }
  std::string Text() override;
  nlohmann::ordered_json Document() override;

private:
  void Replay(sim::Soc& Board) const override;
  tools::SlotRequest request_;
  bool opened_ = false;
  tools::SlotRun result_;
  std::optional<OpReport> report_;
};

} // namespace boardsim::python

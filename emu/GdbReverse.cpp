// Going back under GDB. The run is deterministic, so any earlier place in the call is the last
// checkpoint before it run forward by the right number of instructions: reverse-stepi goes to
// the instruction before, reverse-continue scans the stretches between checkpoints backward for
// the last breakpoint or watchpoint hit before here, and `monitor goto` runs to an access or a
// time. Nothing of this reaches the board twice: each restore takes its trace and clock back.
#include "emu/GdbClientWatch.h"
#include "emu/GdbServer.h"
#include "emu/Machine.h"

#include <unicorn/unicorn.h>

#include <charconv>

namespace emu {

namespace {

// The stop reply that tells GDB there is no history further back.
constexpr const char* HistoryBegins = "T05replaylog:begin;";
// A Ctrl-C stopped going back: SIGINT, the run where it stood before.
constexpr const char* InterruptStop = "S02";

std::optional<uint64_t> Number(std::string_view Text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size()) {
    return std::nullopt;
  }
  return value;
}

} // namespace

void GdbServer::RestartHistory() {
  if (history_.On() && history_.Begun()) {
    history_.Begin(machine_->Save());
    machine_->Record(&history_);
  }
}

void GdbServer::Say(const std::string& Text) {
  Send(gdb::Frame("O" + gdb::ToHex(std::string_view(Text))));
}

void GdbServer::NoteHit(uint64_t Position, std::string Reply) {
  if (going_ == Going::Scan && Position < scanEnd_) {
    latestHit_ = Hit{Position, std::move(Reply)};
  }
}

bool GdbServer::RunQuietly(uint64_t Instructions, Going How) {
  Machine& m = *machine_;
  going_ = How;
  // Unicorn counts instructions only in translations made after it began to: see Execute.
  m.DropCodeTranslations();
  stepped_ = true;
  const auto error = static_cast<uc_err>(m.Continue(Instructions));
  going_ = Going::Live;
  // The `pause` the run stopped at has not been counted: its hook comes after the count's.
  m.SetPauseCountedAt(0);
  const bool going = !m.Stopped() && error == UC_ERR_OK && m.Eip() != ReturnTrap;
  m.ForgetStop();
  return going;
}

bool GdbServer::GoTo(uint64_t Position) {
  Machine& m = *machine_;
  if (Position < m.CallInstructions()) {
    // A checkpoint ahead of here holds accesses the trace no longer has: only earlier ones.
    m.Restore(history_.AtOrBefore(Position));
  }
  const uint64_t from = m.CallInstructions();
  if (Position > from && !RunQuietly(Position - from, Going::Replay)) {
    return false;
  }
  return m.CallInstructions() == Position;
}

std::string GdbServer::Lost(uint64_t Position) {
  Say("boardsim: going back did not arrive at instruction " + std::to_string(Position) +
      " of the call: the run from the last checkpoint went otherwise; it stands at instruction " +
      std::to_string(machine_->CallInstructions()) + "\n");
  return "S05";
}

std::string GdbServer::Reverse(gdb::Resume Action) {
  Machine& m = *machine_;
  if (!history_.On()) {
    Say("boardsim: " + history_.Settings().NoneKept + ", so the run cannot go back\n");
    return HistoryBegins;
  }
  const uint64_t now = m.CallInstructions();
  if (now <= history_.Start().Runner.Instructions) {
    return HistoryBegins; // the call's first instruction (earlier calls are not this call's)
  }
  if (Action == gdb::Resume::ReverseStep) {
    if (!GoTo(now - 1)) {
      return Lost(now - 1);
    }
    return "S05";
  }
  bool interrupted = false;
  const std::optional<Hit> hit = ScanBack(now, interrupted);
  interruptRequested_ = false;
  if (interrupted) {
    if (!GoTo(now)) {
      return Lost(now);
    }
    return InterruptStop;
  }
  if (hit) {
    if (!GoTo(hit->Position)) {
      return Lost(hit->Position);
    }
    return hit->Reply;
  }
  m.Restore(history_.Start());
  return HistoryBegins;
}

std::optional<GdbServer::Hit> GdbServer::ScanBack(uint64_t Now, bool& Interrupted) {
  Machine& m = *machine_;
  // However long the way back, a Ctrl-C stops it (at the module's next `pause`, where a run
  // spends nearly all of its time, or between two stretches) and a second client is closed at once.
  const ClientWatch watch(*this);
  // Each stretch from a checkpoint to where the last one began is scanned once, the latest first.
  uint64_t end = Now;
  for (const Checkpoint* from : history_.Backward(Now)) {
    m.Restore(*from);
    latestHit_.reset();
    scanEnd_ = end;
    RunQuietly(end - from->Runner.Instructions, Going::Scan);
    if (m.Interrupted() || interruptRequested_) {
      Interrupted = true;
      return std::nullopt;
    }
    if (latestHit_) {
      return latestHit_;
    }
    end = from->Runner.Instructions;
  }
  return std::nullopt;
}

std::string GdbServer::GotoCommand(std::string_view Arguments) {
  const size_t space = Arguments.find(' ');
  const std::string_view what = Arguments.substr(0, space);
  const std::optional<uint64_t> value =
      space == std::string_view::npos ? std::nullopt : Number(Arguments.substr(space + 1));
  if ((what != "access" && what != "time") || !value) {
    return "goto takes 'access N' (the run just after access N) or 'time T' (T in ns)\n";
  }
  const uint64_t target = *value;
  if (!history_.On()) {
    return history_.Settings().NoneKept + ": goto cannot go back or on\n";
  }
  Machine& m = *machine_;
  const sim::Board& board = m.GetBoard();
  const bool byAccess = what == "access";
  const Checkpoint& start = history_.Start();
  const uint64_t first = byAccess ? start.Access() : start.TimeNs();
  if (target < first) {
    return "going back ends at " +
           (byAccess ? "access " + std::to_string(first) : std::to_string(first) + " ns") +
           ", where this call began (or GDB last changed the machine)\n";
  }
  const uint64_t here = m.CallInstructions();
  const bool behind = byAccess ? target < board.AccessCount() : target <= board.GetClock().NowNs();
  if (behind) {
    m.Restore(byAccess ? history_.BeforeAccess(target) : history_.BeforeTime(target));
  }
  if (byAccess) {
    pastAccess_ = target;
  } else {
    untilTimeNs_ = target;
  }
  bool arrived = false;
  bool interrupted = false;
  {
    const ClientWatch watch(*this); // a Ctrl-C stops a long goto; another client is closed
    arrived = RunQuietly(0, Going::Replay);
    interrupted = m.Interrupted(); // a Ctrl-C once it had arrived changes nothing
  }
  interruptRequested_ = false;
  pastAccess_.reset();
  untilTimeNs_.reset();
  if (interrupted || !arrived) {
    const uint64_t accesses = board.AccessCount();
    const uint64_t ns = board.GetClock().NowNs();
    GoTo(here);
    return (interrupted ? "interrupted at access " : "this call ends at access ") +
           std::to_string(accesses) + ", " + std::to_string(ns) + " ns, before " +
           std::string(what) + " " + std::to_string(target) + "; the run stays where it was\n";
  }
  return "at instruction " + std::to_string(m.CallInstructions()) + " of the call, " +
         std::to_string(board.AccessCount()) + " accesses made, " +
         std::to_string(board.GetClock().NowNs()) + " ns (GDB: 'flushregs' to see it)\n";
}

} // namespace emu

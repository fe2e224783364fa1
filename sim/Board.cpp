#include "sim/Board.h"

#include <algorithm>

namespace sim {

Board::Board(AccessCosts Costs) : costs_(Costs) {}

size_t Board::Known(Device& Dev) {
  const auto known = std::find(devicesKnown_.begin(), devicesKnown_.end(), &Dev);
  if (known != devicesKnown_.end()) {
    return static_cast<size_t>(known - devicesKnown_.begin());
  }
  devicesKnown_.push_back(&Dev);
  counts_.emplace_back();
  return devicesKnown_.size() - 1;
}

Board::WindowId Board::Map(Space S, uint32_t Base, uint32_t Size, Device& Dev) {
  const size_t index = Known(Dev);
  windows_.push_back(Window{S, Base, Size, &Dev, true, false, Dev.ReadsFollowClock(), index});
  WindowsChanged();
  return windows_.size() - 1;
}

BoardState Board::Save() const {
  BoardState state;
  state.TimeNs = clock_.NowNs();
  state.Windows.reserve(windows_.size());
  for (const Window& window : windows_) {
    state.Windows.push_back({static_cast<uint8_t>(window.S), window.Base, window.Size,
                             window.CountsIndex, window.Mapped});
  }
  state.Counts = counts_;
  state.Pauses = pauses_;
  state.Trace = trace_.Position();
  state.Strikes = strikes_.Saved();
  if (deviceStates_ != nullptr) {
    state.Devices = deviceStates_->SaveDevices();
  }
  return state;
}

void Board::Restore(const BoardState& State, const std::vector<Access>* KeptFrom) {
  if (State.Counts.size() != counts_.size() ||
      (deviceStates_ != nullptr) != (State.Devices != nullptr)) {
    throw std::logic_error("a board state restored on a board built otherwise");
  }
  std::vector<Window> windows;
  windows.reserve(State.Windows.size());
  for (const BoardState::WindowState& saved : State.Windows) {
    if (saved.Device == UnclaimedIndex || saved.Device >= devicesKnown_.size()) {
      throw std::logic_error("a board state restored on a board built otherwise");
    }
    Device* device = devicesKnown_[saved.Device];
    windows.push_back(Window{static_cast<Space>(saved.S), saved.Base, saved.Size, device,
                             saved.Mapped, false, device->ReadsFollowClock(), saved.Device});
  }
  trace_.Restore(State.Trace, KeptFrom);
  windows_ = std::move(windows);
  WindowsChanged();
  clock_.Restore(State.TimeNs, State.Trace.Count);
  counts_ = State.Counts;
  pauses_ = State.Pauses;
  strikes_.Restore(State.Strikes);
  if (deviceStates_ != nullptr) {
    deviceStates_->RestoreDevices(*State.Devices);
  }
}

void Board::Move(WindowId Id, uint32_t NewBase) {
  windows_.at(Id).Base = NewBase;
  windows_.at(Id).Mapped = true;
  WindowsChanged();
}

void Board::Unmap(WindowId Id) {
  windows_.at(Id).Mapped = false;
  WindowsChanged();
}

void Board::WindowsChanged() {
  lastHit_[0] = lastHit_[1] = nullptr;
  const auto overlap = [](const Window& A, const Window& B) {
    return A.S == B.S && uint64_t{A.Base} < uint64_t{B.Base} + B.Size &&
           uint64_t{B.Base} < uint64_t{A.Base} + A.Size;
  };
  for (size_t i = 0; i < windows_.size(); ++i) {
    windows_[i].Shadowed = false;
    for (size_t later = i + 1; later < windows_.size(); ++later) {
      windows_[i].Shadowed |= windows_[later].Mapped && overlap(windows_[i], windows_[later]);
    }
  }
}

Board::Window* Board::Search(Space S, uint32_t Address) {
  // Later windows win, so a device mapped over a larger one (a BAR inside the window of a
  // bridge) takes precedence.
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->S == S && Contains(*it, Address)) {
      // Remembered only while no later window could take part of its range.
      lastHit_[static_cast<size_t>(S)] = it->Shadowed ? nullptr : &*it;
      return &*it;
    }
  }
  return nullptr;
}

void Board::Exhausted() const {
  if (clock_.NowNs() > timeBudgetNs_) {
    throw BudgetExhausted("time budget of " + std::to_string(timeBudgetNs_ / 1'000'000) +
                          " ms of virtual time exhausted");
  }
  if (trace_.Count() >= accessBudget_) {
    throw BudgetExhausted("access budget of " + std::to_string(accessBudget_) + " exhausted");
  }
  throw BudgetExhausted("kept-access budget of " + std::to_string(keptBudget_) +
                        " accesses other than PM-timer reads exhausted (the run spins on "
                        "registers)");
}

void Board::CheckBudgets() {
  if (clock_.NowNs() > timeBudgetNs_ || trace_.Count() >= accessBudget_ ||
      (trace_.Accesses().size() >= keptBudget_ && trace_.Keep() != TraceKeep::Everything)) {
    Exhausted();
  }
  // The kept accesses are bounded as if the trace kept only view inputs: it may be told to at
  // any time, and the mark is never later than the first access that could run a budget out.
  clock_.CheckBudgetsAt(clock_.Accesses() + SafeAccesses(true) + 1);
}

uint64_t Board::AccessesLeft() const {
  return SafeAccesses(trace_.Keep() != TraceKeep::Everything);
}

uint64_t Board::SafeAccesses(bool AnyKeep) const {
  // The access that reaches a budget is the one that runs it out: the accesses before it are left.
  const auto before = [](uint64_t Used, uint64_t Budget) {
    return Used < Budget ? Budget - Used - 1 : 0;
  };
  uint64_t left = before(trace_.Count(), accessBudget_);
  if (AnyKeep) {
    left = std::min(left, before(trace_.Accesses().size(), keptBudget_));
  }
  const uint64_t dearest =
      std::max({costs_.MmioRead, costs_.MmioWrite, costs_.PortRead, costs_.PortWrite});
  const uint64_t now = clock_.NowNs();
  if (dearest != 0 && timeBudgetNs_ != NeverNs) {
    // Time runs out only past the budget, so a run may stand on it.
    left = std::min(left, now <= timeBudgetNs_ ? (timeBudgetNs_ - now) / dearest : 0);
  }
  return left;
}

std::map<std::string, DeviceCounts> Board::Counts() const {
  std::map<std::string, DeviceCounts> named;
  for (size_t i = 0; i < counts_.size(); ++i) {
    if (counts_[i].Reads == 0 && counts_[i].Writes == 0) {
      continue;
    }
    DeviceCounts& counts =
        named[devicesKnown_[i] != nullptr ? std::string(devicesKnown_[i]->Name()) : "unclaimed"];
    counts.Reads += counts_[i].Reads;
    counts.Writes += counts_[i].Writes;
  }
  return named;
}

uint32_t Board::Read(Space S, uint32_t Address, unsigned Width) {
  const uint64_t now = clock_.NowNs();
  Window* window = Decode(S, Address);
  uint32_t value = window != nullptr
                       ? window->Dev->Read(Address - window->Base, Width) & AllOnes(Width)
                       : AllOnes(Width);
  if (answers_ != nullptr) [[unlikely]] {
    value = answers_->Answer(S, Address, Width, window != nullptr ? window->Dev : nullptr, value) &
            AllOnes(Width);
  }
  trace_.Record(now, S == Space::Memory ? AccessOp::Read : AccessOp::In, Width, Address, value,
                window != nullptr && window->ReadsDerived);
  Account(CountsIndex(window), false, S == Space::Memory ? costs_.MmioRead : costs_.PortRead);
  return value;
}

void Board::Write(Space S, uint32_t Address, unsigned Width, uint32_t Value) {
  Value &= AllOnes(Width);
  const uint64_t now = clock_.NowNs();
  trace_.Record(now, S == Space::Memory ? AccessOp::Write : AccessOp::Out, Width, Address, Value);
  // Record before delivering: a write can remap windows, but it was aimed at the old decode.
  // The window's entry may move when the write maps another: take what is needed first.
  Window* window = Decode(S, Address);
  const size_t countsIndex = CountsIndex(window);
  if (window != nullptr) {
    window->Dev->Write(Address - window->Base, Width, Value);
  }
  Account(countsIndex, true, S == Space::Memory ? costs_.MmioWrite : costs_.PortWrite);
}

} // namespace sim

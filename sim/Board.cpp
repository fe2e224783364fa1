#include "sim/Board.h"

namespace sim {

Board::Board(AccessCosts Costs) : costs_(Costs) {}

Board::WindowId Board::Map(Space S, uint32_t Base, uint32_t Size, Device& Dev) {
  windows_.push_back(Window{S, Base, Size, &Dev, true});
  return windows_.size() - 1;
}

void Board::Move(WindowId Id, uint32_t NewBase) {
  windows_.at(Id).Base = NewBase;
  windows_.at(Id).Mapped = true;
}

void Board::Unmap(WindowId Id) {
  windows_.at(Id).Mapped = false;
}

Board::Window* Board::Decode(Space S, uint32_t Address) {
  // Later windows win, so a device mapped over a larger one (a BAR inside the window of a
  // bridge) takes precedence.
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->Mapped && it->S == S && Address - it->Base < it->Size && Address >= it->Base) {
      return &*it;
    }
  }
  return nullptr;
}

void Board::Account(const Window* W, bool IsWrite, uint64_t Cost) {
  DeviceCounts& counts = counts_[W != nullptr ? std::string(W->Dev->Name()) : "unclaimed"];
  ++(IsWrite ? counts.Writes : counts.Reads);
  clock_.Advance(Cost);
  if (budget_ != 0 && trace_.Accesses().size() >= budget_) {
    throw BudgetExhausted("access budget of " + std::to_string(budget_) + " exhausted");
  }
}

uint32_t Board::Read(Space S, uint32_t Address, unsigned Width) {
  const uint64_t now = clock_.NowNs();
  Window* window = Decode(S, Address);
  const uint32_t value = window != nullptr
                             ? window->Dev->Read(Address - window->Base, Width) & AllOnes(Width)
                             : AllOnes(Width);
  trace_.Record(now, S == Space::Memory ? AccessOp::Read : AccessOp::In, Width, Address, value);
  Account(window, false, S == Space::Memory ? costs_.MmioRead : costs_.PortRead);
  return value;
}

void Board::Write(Space S, uint32_t Address, unsigned Width, uint32_t Value) {
  Value &= AllOnes(Width);
  const uint64_t now = clock_.NowNs();
  trace_.Record(now, S == Space::Memory ? AccessOp::Write : AccessOp::Out, Width, Address, Value);
  // Record before delivering: a write can remap windows, but it was aimed at the old decode.
  Window* window = Decode(S, Address);
  if (window != nullptr) {
    window->Dev->Write(Address - window->Base, Width, Value);
  }
  Account(window, true, S == Space::Memory ? costs_.MmioWrite : costs_.PortWrite);
}

} // namespace sim

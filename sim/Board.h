// The simulated board: address decoders for memory and ports, the virtual clock, the trace and
// the devices. Every access of the module arrives here once, is traced, costs virtual time and
// goes to the device that claims its address; a read that nothing claims returns all ones.
#pragma once

#include "sim/Clock.h"
#include "sim/Device.h"
#include "sim/Trace.h"
#include "sim/faults/Strikes.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

enum class Space : uint8_t { Memory, Port };

// Thrown when a run exceeds one of its budgets (virtual time, accesses, kept accesses): the module
// is stuck in a wait that never ends. The message names the budget.
class BudgetExhausted : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Answers given to the module in place of the devices' own: for fuzzing, where the devices answer
// what the fuzzer chooses. Sees each read after its device answered (Dev null when none did) and
// before it is traced, so the trace holds what the module read.
class ReadAnswers {
public:
  virtual uint32_t Answer(Space S, uint32_t Address, unsigned Width, const Device* Dev,
                          uint32_t Value) = 0;

protected:
  ~ReadAnswers() = default;
};

struct DeviceCounts {
  uint64_t Reads = 0;
  uint64_t Writes = 0;
};

struct SocState; // every device model's state: sim/SocState.h

// Where the board's own device models keep their state: the owner saves and restores it with the
// board's (the SoC's, for its devices; a board of loose devices in a test has none).
class DeviceStates {
public:
  virtual std::shared_ptr<const SocState> SaveDevices() const = 0;
  virtual void RestoreDevices(const SocState& State) = 0;

protected:
  ~DeviceStates() = default;
};

// The whole board at one moment, as plain values: a restore puts the board back there and it runs
// on as it did. Windows name their device by its place among the board's devices, so a state can
// also be given to another board built the same way (the same description, other faults).
struct BoardState {
  struct WindowState {
    uint8_t S;
    uint32_t Base;
    uint32_t Size;
    size_t Device;
    bool Mapped;
  };
  uint64_t TimeNs = 0;
  std::vector<WindowState> Windows;
  std::vector<DeviceCounts> Counts;
  uint64_t Pauses = 0;
  TracePosition Trace;
  StrikeLog::State Strikes;
  std::shared_ptr<const SocState> Devices; // shared, never changed once saved
};

class Board {
public:
  explicit Board(AccessCosts Costs = {});
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // The board owns its devices; the reference stays valid for the board's lifetime.
  template <typename T> T& Add(std::unique_ptr<T> Dev) {
    T& ref = *Dev;
    Known(ref);
    devices_.push_back(std::move(Dev));
    return ref;
  }

  // A window is a range that one device decodes. Windows may move (a BAR is reprogrammed) or
  // go away (a function is disabled): Move and Unmap take the id Map returned.
  using WindowId = size_t;
  WindowId Map(Space S, uint32_t Base, uint32_t Size, Device& Dev);
  void Move(WindowId Id, uint32_t NewBase);
  void Unmap(WindowId Id);

  uint32_t Read(Space S, uint32_t Address, unsigned Width);
  void Write(Space S, uint32_t Address, unsigned Width, uint32_t Value);
  // The spin-wait hint: not an access, so it is neither traced nor timed.
  void Pause() { ++pauses_; }

  Clock& GetClock() { return clock_; }
  const Clock& GetClock() const { return clock_; }
  const Trace& GetTrace() const { return trace_; }
  Trace& GetTrace() { return trace_; }
  const AccessCosts& Costs() const { return costs_; }
  // Where the faults its devices carry first struck; the runners note the HOB list's hand-over.
  StrikeLog& Strikes() { return strikes_; }
  const StrikeLog& Strikes() const { return strikes_; }

  // A run is declared stuck once its virtual time passes TimeNs, or once it has made Accesses
  // accesses (for a clock that barely moves); 0 means unlimited. A trace that keeps only the view
  // inputs also ends the run when it has kept Kept of them (at most Trace::KeptLimit).
  void SetTimeBudget(uint64_t TimeNs) {
    timeBudgetNs_ = TimeNs == 0 ? NeverNs : TimeNs;
    clock_.CheckBudgetsAt(0);
  }
  void SetAccessBudget(uint64_t Accesses) {
    accessBudget_ = Accesses == 0 ? NeverNs : Accesses;
    clock_.CheckBudgetsAt(0);
  }
  void SetKeptBudget(uint64_t Kept) {
    keptBudget_ = Kept == 0 ? Trace::KeptLimit : std::min(Kept, Trace::KeptLimit);
    clock_.CheckBudgetsAt(0);
  }

  // How many more accesses the run can surely make with none of its budgets running out: a lower
  // bound, cheap enough to ask now and then (time is counted at the dearest access's cost). The
  // image runner watches where each access was made from there on, when it comes close.
  uint64_t AccessesLeft() const;

  // Null: every read gets its device's answer.
  void SetReadAnswers(ReadAnswers* Answers) { answers_ = Answers; }

  // Checkpoints. Owner keeps the state of the devices the board decodes to (null: none); it must
  // outlive the board or be unset. Restore takes the board back (or on) to State, the trace too:
  // without KeptFrom the accesses it kept before State must still be in the trace, with KeptFrom
  // they are copied from there (the trace of the run State was saved in). State must come from
  // this board or from one built the same way, or std::logic_error.
  void SetDeviceStates(DeviceStates* Owner) { deviceStates_ = Owner; }
  BoardState Save() const;
  void Restore(const BoardState& State, const std::vector<Access>* KeptFrom = nullptr);

  // Every access made so far, whatever the trace keeps.
  uint64_t AccessCount() const { return trace_.Count(); }
  // Per device name ("unclaimed" for accesses nothing decoded), for the devices that saw any
  // access, and pause hints issued.
  std::map<std::string, DeviceCounts> Counts() const;
  uint64_t Pauses() const { return pauses_; }

private:
  struct Window {
    Space S;
    uint32_t Base;
    uint32_t Size;
    Device* Dev;
    bool Mapped;
    bool Shadowed;      // a later window overlaps it: decoding must search
    bool ReadsDerived;  // Dev->ReadsFollowClock()
    size_t CountsIndex; // into counts_ and devicesKnown_
  };
  static constexpr size_t UnclaimedIndex = 0;

  // The device's place among those the board knows, given one when first seen.
  size_t Known(Device& Dev);

  bool Contains(const Window& W, uint32_t Address) const {
    return W.Mapped && Address - W.Base < W.Size && Address >= W.Base;
  }
  Window* Decode(Space S, uint32_t Address) {
    Window* last = lastHit_[static_cast<size_t>(S)];
    return last != nullptr && Contains(*last, Address) ? last : Search(S, Address);
  }
  Window* Search(Space S, uint32_t Address);
  void WindowsChanged();
  static size_t CountsIndex(const Window* W) {
    return W != nullptr ? W->CountsIndex : UnclaimedIndex;
  }
  void Account(size_t CountsIndex, bool IsWrite, uint64_t Cost) {
    DeviceCounts& counts = counts_[CountsIndex];
    ++(IsWrite ? counts.Writes : counts.Reads);
    clock_.Tick(Cost);
    if (clock_.BudgetsDue()) [[unlikely]] {
      CheckBudgets();
    }
  }
  // Throws BudgetExhausted at the access that runs a budget out, else marks the first access
  // that could: a wait of a million polls then looks at its three budgets a few times, not at
  // every poll.
  void CheckBudgets();
  [[noreturn]] void Exhausted() const;
  // How many more accesses cannot run a budget out, whatever the trace keeps from now on.
  uint64_t SafeAccesses(bool AnyKeep) const;

  AccessCosts costs_;
  Clock clock_;
  Trace trace_;
  StrikeLog strikes_{clock_};
  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<Window> windows_;
  // The last window each space decoded to, while it stays the answer for its whole range.
  Window* lastHit_[2] = {nullptr, nullptr};
  // Per device; counted by the index its windows carry, named only when Counts() is asked. Every
  // device the board owns is known from the start, in the order it was added, so that boards
  // built alike number their devices alike.
  std::vector<DeviceCounts> counts_{1};
  std::vector<Device*> devicesKnown_{nullptr};
  DeviceStates* deviceStates_ = nullptr;
  uint64_t timeBudgetNs_ = NeverNs;
  uint64_t accessBudget_ = NeverNs;
  uint64_t keptBudget_ = Trace::KeptLimit;
  uint64_t pauses_ = 0;
  ReadAnswers* answers_ = nullptr;
};

} // namespace sim

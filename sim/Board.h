// The simulated board: address decoders for memory and ports, the virtual clock, the trace and
// the devices. Every access of the module arrives here once, is traced, costs virtual time and
// goes to the device that claims its address; a read that nothing claims returns all ones.
#pragma once

#include "sim/Clock.h"
#include "sim/Device.h"
#include "sim/Trace.h"

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

enum class Space : uint8_t { Memory, Port };

// Thrown when a run exceeds its access budget: the module is stuck in a wait that never ends.
class BudgetExhausted : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct DeviceCounts {
  uint64_t Reads = 0;
  uint64_t Writes = 0;
};

class Board {
public:
  explicit Board(AccessCosts Costs = {});
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // The board owns its devices; the reference stays valid for the board's lifetime.
  template <typename T> T& Add(std::unique_ptr<T> Dev) {
    T& ref = *Dev;
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

  // Accesses allowed before a run is declared stuck; 0 means unlimited.
  void SetAccessBudget(uint64_t Accesses) { budget_ = Accesses; }

  // Per device name ("unclaimed" for accesses nothing decoded), and pause hints issued.
  const std::map<std::string, DeviceCounts>& Counts() const { return counts_; }
  uint64_t Pauses() const { return pauses_; }

private:
  struct Window {
    Space S;
    uint32_t Base;
    uint32_t Size;
    Device* Dev;
    bool Mapped;
  };

  Window* Decode(Space S, uint32_t Address);
  void Account(const Window* W, bool IsWrite, uint64_t Cost);

  AccessCosts costs_;
  Clock clock_;
  Trace trace_;
  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<Window> windows_;
  std::map<std::string, DeviceCounts> counts_;
  uint64_t budget_ = 0;
  uint64_t pauses_ = 0;
};

} // namespace sim

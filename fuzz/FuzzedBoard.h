// What the boot and slot-call targets share: the built-in boards, devices whose reads answer
// what the fuzzer chooses, and the registers the built-in boards' reference runs write.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/Trace.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace fuzz {

// Every board in boards/, read once.
const std::vector<sim::BoardConfig>& BuiltInBoards();

// While the input lasts, each read of the PMIC bus controller (status bits, received bytes), the
// PCI configuration window (sideband data), the pad block and the PM timer takes one byte of it:
// odd, and the next four bytes are the answer in place of the device's. Once the input is used
// up the devices answer for themselves, so every input ends in a board that works.
class FuzzedAnswers final : public sim::ReadAnswers {
public:
  explicit FuzzedAnswers(FuzzedDataProvider& Input) : input_(Input) {}
  uint32_t Answer(sim::Space S, uint32_t Address, unsigned Width, const sim::Device* Dev,
                  uint32_t Value) override;

private:
  FuzzedDataProvider& input_;
};

// The registers a run writes: each memory or port register by address and width, and beside the
// bus controller's data register and the sideband message registers, which carry other
// registers' writes, each PMIC register written (bus address, register) and each sideband
// register written (port, register).
class WrittenRegisters {
public:
  void Add(const std::vector<sim::Access>& Trace);
  // The first register Trace writes that this set does not hold, described; nothing if none.
  std::optional<std::string> FirstOutside(const std::vector<sim::Access>& Trace,
                                          std::optional<uint8_t> AllowedPmicRegister = {}) const;

private:
  using Key = std::tuple<int, uint32_t, uint32_t>; // kind, and address or (device, register)
  static std::vector<Key> Keys(const std::vector<sim::Access>& Trace);
  std::set<Key> keys_;
};

// Ends the process as a finding, naming what was found.
[[noreturn]] void Finding(const std::string& What);

} // namespace fuzz

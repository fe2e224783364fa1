// Runs the host-linked module against a simulated board: installs the board behind the register
// primitives for the duration of one call.
#pragma once

#include "sim/Board.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class HostBus;

namespace tools {

// While alive, the module's register primitives reach Board.
class BoardInstallation {
public:
  explicit BoardInstallation(sim::Board& Board, uintptr_t IdtBase = 0);
  ~BoardInstallation();
  BoardInstallation(const BoardInstallation&) = delete;
  BoardInstallation& operator=(const BoardInstallation&) = delete;

private:
  struct Adapter;
  Adapter* adapter_;
  HostBus* previous_;
};

struct RunResult {
  std::optional<uint32_t> Status; // absent when the run did not return
  std::string Failure;            // why it did not
};

// Calls ModuleEntry of the host build on the board.
RunResult RunHostModule(sim::Board& Board);

} // namespace tools

// Runs the host-linked module against a simulated board: installs the board behind the register
// primitives, and hands the module a PEI services table and HOB list the way the PEI core does
// (a services pointer in the word below the IDT), for the duration of one call.
#pragma once

#include "sim/Board.h"
#include "sim/HobList.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HostBus;

namespace tools {

// What the module finds below the IDT.
struct PeiHandoff {
  std::vector<sim::HobEntry> Hobs; // laid out with host-sized descriptor slots
  bool ServicesPointer = true;     // false: the word below the IDT is null
  bool Idt = true;                 // false: the IDT base reads 0
  bool Table = true;               // false: the services pointer points at a null table pointer
  bool GetHobListSlot = true;      // false: the table's GetHobList slot is null
  bool ListPointer = true;         // false: GetHobList leaves the list pointer as it was
  uint32_t GetHobListStatus = 0;   // what GetHobList returns, EFI_SUCCESS by default
};

// While alive, the module's register primitives reach Board. A HOB list whose walk would leave it
// (sim::CheckHobWalk) is refused with a tools::ToolError (exit 2) before anything runs.
class BoardInstallation {
public:
  explicit BoardInstallation(sim::Board& Board, const PeiHandoff& Handoff = {});
  ~BoardInstallation();
  BoardInstallation(const BoardInstallation&) = delete;
  BoardInstallation& operator=(const BoardInstallation&) = delete;

  // Where the host copy of the HOB list lives, so tests can tell a descriptor taken in place.
  const uint8_t* HobList() const;

private:
  struct Handoff;
  struct Adapter;
  std::unique_ptr<Handoff> handoff_;
  std::unique_ptr<Adapter> adapter_;
  HostBus* previous_;
};

struct RunResult {
  std::optional<uint32_t> Status;    // absent when the run did not return
  std::string Failure;               // why it did not
  std::optional<uint32_t> StackUsed; // the image's: the deepest it wrote into its stack, in bytes
};

// Calls ModuleEntry of the host build on the board.
RunResult RunHostModule(sim::Board& Board, const PeiHandoff& Handoff = {});

} // namespace tools

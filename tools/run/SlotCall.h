// One PMIC operation called the way the firmware modules that use the library call it: ask
// GetActivePmic for the descriptor, then call one of its slots. This side runs the host
// build; the image's side is the tool's (tools/boardsim/session/ImageSlotCall.h) and reports
// the same record.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "tools/run/HostRun.h"
#include "tools/run/PmicSlots.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tools {

struct SlotRequest {
  size_t Slot = 0;
  std::vector<uint8_t> Values; // the UINT8 arguments, in order
  bool NullPointer = false;    // pass null for the pointer of a slot that tests it
};

// What the pointer arguments point at before the call, byte by byte, in both forms alike.
constexpr uint8_t PointerFill = 0xCC;

struct SlotRun {
  bool Selected = false;  // GetActivePmic returned
  uint32_t VariantId = 0; // of the descriptor it returned
  std::array<bool, SlotCount> Filled{};
  size_t SelectionAccesses = 0;      // accesses GetActivePmic made, from the start of the trace
  uint64_t SelectionEndNs = 0;       // virtual time when it returned
  bool Called = false;               // the slot was filled and called
  std::optional<uint32_t> Returned;  // at the width of the return type; absent until it returns
  std::vector<uint32_t> Stored;      // what each pointer argument points at after the call
  std::string Failure;               // why GetActivePmic or the slot did not return
  std::optional<uint32_t> StackUsed; // the image's: the deepest both calls wrote into the stack
};

// GetActivePmic's and the slot's waits read the PM timer, which counts only once the ACPI window
// is decoded. The module's entry opens it (0x0402: port 0x400, decode on) before anything else
// when it finds it closed, and leaves it open for the modules that use the library later; this
// puts a board in that state from reset, without a single access. False: it was open already.
bool OpenAcpiWindowAsEntryLeavesIt(sim::BoardConfig& Board);

// Calls GetActivePmic, then the requested slot if the descriptor fills it; without a request
// only the descriptor is read.
SlotRun CallSlotOnHost(sim::Board& Board, const PeiHandoff& Handoff,
                       const std::optional<SlotRequest>& Request);

} // namespace tools

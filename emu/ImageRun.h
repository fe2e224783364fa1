// Runs the module's real image on a simulated board: the image is loaded away from its ImageBase
// into an emulated CPU, and ModuleEntry is called as the PEI core would call it.
#pragma once

#include "emu/Machine.h"
#include "emu/PeImage.h"
#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/HobList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emu {

// The module runs at most a few thousand instructions between two register accesses; a run past
// this many without one is stuck in a loop that touches no hardware. Every other run ends by the
// board's budgets, at the same access in both forms.
constexpr uint64_t DefaultInstructionLimit = 500'000'000;

// The image's pointers are 32 bits wide: so are the slots of a descriptor in its HOB list.
constexpr unsigned ImagePointerBytes = 4;

// A list that holds nothing but its end marker.
inline std::vector<uint8_t> EmptyHobList() {
  return sim::BuildHobList({}, ImagePointerBytes);
}

struct RunOptions {
  std::vector<uint8_t> HobList = EmptyHobList();
  uint64_t InstructionLimit = DefaultInstructionLimit;
  uint32_t StackBytes = 0;        // the module's stack; 0: DefaultStackBytes
  bool CountInstructions = false; // measuring mode: fills RunResult::Counts, and runs slower
  CallDriver* Debugger = nullptr; // a debugger stops and steps the run
};

struct RunResult {
  std::optional<uint32_t> Status; // absent when the run did not return
  std::string Failure;            // why it did not: what stopped it, where, the last accesses
  InstructionCounts Counts;       // all zero unless RunOptions::CountInstructions
  uint32_t StackUsed = 0;         // the deepest the run wrote into its stack, in bytes from the top
};

// Options that hand the image the board's HOB list and give it the board's stack.
RunOptions ImageRunOptions(const sim::BoardConfig& Board);

// Calls ModuleEntry(FileHandle = 0, PeiServices) of Image on Board.
RunResult RunImage(const PeImage& Image, sim::Board& Board, const RunOptions& Options = {});
// The same on a machine made for Image, which may be replaying an earlier run of it.
RunResult RunEntry(Machine& M, const PeImage& Image);

} // namespace emu

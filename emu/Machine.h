// A flat 32-bit protected-mode x86 machine, emulated by Unicorn, with a PE32 image loaded in it
// and the simulated board behind its ports and memory-mapped space. It also provides what a PEI
// module finds on entry: a stack, an interrupt descriptor table whose base has the PEI services
// pointer in the 32-bit word below it, and an EFI_PEI_SERVICES table whose GetHobList the
// machine answers itself with the HOB list it was given.
#pragma once

#include "emu/PeImage.h"
#include "sim/Board.h"
#include "sim/BoardConfig.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct uc_struct;

namespace emu {

class GdbServer;

// Where things live in the machine's address space. The image runs away from its ImageBase
// (0 for the module), so a missing relocation sends an access into unmapped memory; only an
// image placed to run in place (PeImage::InPlace) runs at its ImageBase.
constexpr uint32_t LoadBase = 0x00800000;
constexpr uint32_t StackBase = 0x00700000;
constexpr uint32_t StackSize = 0x00010000;
constexpr uint32_t HandoffBase = 0x00600000; // PEI services, IDT and HOB list
// Everything from here up is the board's memory-mapped space: the PCI configuration window at
// 0xE0000000 and the SoC's register blocks below 4 GiB, decoded by the board (which answers all
// ones where nothing is).
constexpr uint32_t BoardMemoryBase = sim::DeviceMemoryBase;

// Throws ImageError when Image runs in place where the machine has something else (or nothing
// it can map): the loader asks before a run, the machine again when it maps the image.
void CheckPlacement(const PeImage& Image);

struct CallResult {
  bool Returned = false; // reached its return address; otherwise Failure says why not
  uint32_t Eax = 0;
  uint32_t Edx = 0;
  // Argument bytes the callee removed from the stack: 0 for cdecl, 16 for __aulldiv.
  uint32_t StackPopped = 0;
  std::string Failure;
};

// What a run in measuring mode counts, split between busy-waits and the rest. A busy-wait runs
// from a `pause` to the next register access that is not a port read (the module's only port
// reads are of the PM timer): the wait's own timer reads and the instructions around them, up to
// and including the instruction that makes that access. Everything else is the rest.
struct InstructionCounts {
  uint64_t BusyWaitInstructions = 0;
  uint64_t BusyWaitTimerReads = 0;
  uint64_t OtherInstructions = 0;
  uint64_t OtherAccesses = 0; // register accesses outside busy-waits
};

class Machine {
public:
  // InstructionLimit bounds the instructions run between two register accesses (a loop that
  // touches nothing); 0 means unlimited (the board's budgets still apply). The limit is
  // kept by whole translated blocks, so a run stops at the start of the block that would pass it.
  // CountInstructions adds a hook on every instruction that fills Counts(): a mode for
  // measuring, several times slower.
  Machine(const PeImage& Image, sim::Board& Board, std::span<const uint8_t> HobList,
          uint64_t InstructionLimit, bool CountInstructions = false);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The EFI_PEI_SERVICES** that PEI modules receive and that sits below the IDT base.
  uint32_t PeiServices() const;
  uint32_t HobListAddress() const;

  // Calls the function at Rva with 32-bit stack arguments (cdecl order) until it returns.
  CallResult Call(uint32_t Rva, std::span<const uint32_t> Arguments);
  // The same for a function known by its address, as a caller that took it from a table of
  // function pointers does.
  CallResult CallAddress(uint32_t Address, std::span<const uint32_t> Arguments);

  // The machine's own RAM (image, stack, hand-off memory) as the image sees it. False for a range
  // that is not all RAM; the board's space is never reached from here, so nothing is traced.
  bool ReadMemory(uint32_t Address, std::span<uint8_t> Bytes) const;
  bool WriteMemory(uint32_t Address, std::span<const uint8_t> Bytes);

  // Hand-off memory that nothing else uses, ScratchSize bytes, for what the pointer arguments of
  // a call point at.
  uint32_t ScratchAddress() const;
  static constexpr uint32_t ScratchSize = 0x200;

  // Instructions executed so far, over every call; all zero unless counting was asked for.
  const InstructionCounts& Counts() const { return counts_; }

  // Hands every call's run to Server, which stops and steps it for GDB. Server must outlive the
  // calls. Without a server nothing of it costs anything.
  void Attach(GdbServer& Server);

private:
  friend struct MachineHooks;
  friend class GdbServer;

  // Ends the emulation from inside a hook, at the instruction being executed (or at Address).
  void Stop(std::string Reason);
  void Stop(std::string Reason, uint64_t Address);
  // Instructions in the translated block that starts at Address, the first time it runs.
  uint32_t BlockInstructions(uint64_t Address);
  void RunawayStop(uint64_t Address);
  // Measuring mode: a register access was made; PortRead says whether it was an IN.
  void CountAccess(bool PortRead);
  void MapImage(const PeImage& Image);
  void MapHandoff(std::span<const uint8_t> HobList);
  void InstallHooks(const PeImage& Image);
  std::string Where(uint64_t Address) const;
  std::string LastAccesses() const;

  uc_struct* uc_ = nullptr;
  sim::Board& board_;
  uint64_t instructionLimit_;
  uint32_t imageBase_ = LoadBase;
  uint32_t imageSize_ = 0;
  uint32_t handoffSize_ = 0;
  bool stopped_ = false;
  std::string stopReason_;
  uint64_t stopAddress_ = 0;
  // By image offset: whether the bytes there are a `pause`, and whether the runner has rewritten
  // one it executed there.
  enum class PauseSite : uint8_t { None, Pause, Rewritten };
  std::vector<PauseSite> pauseSites_;
  // The runaway guard: instructions run since the last register access, counted a block at a time.
  uint64_t executed_ = 0;
  uint64_t accessesSeen_ = 0; // the board's access count when executed_ was last reset
  std::vector<uint16_t> blockInstructions_; // by image offset of a block's start; 0 not yet known
  bool counting_ = false;
  // The trace asks for each access's instruction address (Trace::WithSites): a memory hook over
  // the board's space keeps EIP exact there, at a cost only such runs pay.
  bool sites_ = false;
  bool inBusyWait_ = false;
  InstructionCounts counts_;
  // With a debugger: the run goes through it, and stops at the next `pause` when it asks.
  GdbServer* debugger_ = nullptr;
  const std::atomic<bool>* interruptRequested_ = nullptr;
  bool interrupted_ = false;
  // A debugger's stop can fall after the pause hook has counted the hint of the `pause` about to
  // run; when that instruction runs on resuming, the hint is not counted again.
  uint64_t pauseCountedAt_ = 0;
};

} // namespace emu

// A flat 32-bit protected-mode x86 machine, emulated by Unicorn, with a PE32 image loaded in it
// and the simulated board behind its ports and memory-mapped space. It also provides what a PEI
// module finds on entry: a stack, an interrupt descriptor table whose base has the PEI services
// pointer in the 32-bit word below it, and an EFI_PEI_SERVICES table whose GetHobList the
// machine answers itself with the HOB list it was given.
#pragma once

#include "emu/AddressMap.h"
#include "emu/CallDriver.h"
#include "emu/Checkpoint.h"
#include "emu/PeImage.h"
#include "emu/Ram.h"
#include "sim/Board.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct uc_struct;

namespace emu {

struct CallResult {
  bool Returned = false; // reached its return address; otherwise Failure says why not
  uint32_t Eax = 0;
  uint32_t Edx = 0;
  // Argument bytes the callee removed from the stack: 0 for cdecl, 16 for __aulldiv.
  uint32_t StackPopped = 0;
  std::string Failure;
};

// A call of an earlier run and the machine as it returned: what a replay of that run takes in
// place of making the call again.
struct CallEnd {
  CallResult Result;
  Checkpoint End;
};

class Machine {
public:
  // InstructionLimit bounds the instructions run between two register accesses (a loop that
  // touches nothing); 0 means unlimited (the board's budgets still apply). The limit is
  // kept by whole translated blocks, so a run stops at the start of the block that would pass it.
  // CountInstructions adds a hook on every instruction that fills Counts(): a mode for
  // measuring, several times slower.
  // StackBytes is the stack the module gets (0: DefaultStackBytes): a multiple of 16 from
  // sim::MinStackBytes to DefaultStackBytes, or std::invalid_argument.
  Machine(const PeImage& Image, sim::Board& Board, std::span<const uint8_t> HobList,
          uint64_t InstructionLimit, bool CountInstructions = false, uint32_t StackBytes = 0);
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

  // Instructions executed so far, over every call; all zero unless counting was asked for.
  const InstructionCounts& Counts() const { return runner_.Counts; }

  // Hands every call's run to Driver (a debugger, which stops and steps it). Driver must outlive
  // the calls. Without a driver nothing of it costs anything.
  void Attach(CallDriver& Driver);

  // The stack: its top (where a call's return address goes), its size, and how deep the runs
  // since the machine was made (or last Reset) have written into it, from the top.
  uint32_t StackTop() const { return stackTop_; }
  uint32_t StackBytes() const { return stackBytes_; }
  uint32_t StackUsed() const;

  // Checkpoints. Save takes one now (between calls, or while a debugger has the run stopped);
  // Restore takes the machine back (or on) to one taken on this machine, and its board with it:
  // KeptFrom as sim::Board::Restore takes it. The next call after a restore of one taken during a
  // call goes on with that call (see Replay).
  Checkpoint Save();
  void Restore(const Checkpoint& C, const std::vector<sim::Access>* KeptFrom = nullptr);
  // Recorder is given a checkpoint whenever it asks for one, and one at every return; null
  // stops that. It must outlive the calls.
  void Record(CheckpointRecorder* Recorder);

  // Makes the next calls replay a run recorded earlier up to From, then go on from there: each
  // call before From's returns what Earlier says it did, with the machine and board as they were
  // then, and From's call continues from From rather than starting. Earlier and From must
  // outlive those calls; Board is the board the run goes on with (built as the recorded run's
  // was; KeptFrom as for Restore).
  void Replay(std::span<const CallEnd> Earlier, const Checkpoint& From, sim::Board& Board,
              const std::vector<sim::Access>* KeptFrom);
  // Starts a new run on Board, with the machine as it was made but for the HOB list: no call
  // made, the stack painted again.
  void Reset(sim::Board& Board, std::span<const uint8_t> HobList);

  // Run control: what a driver does with the call it is handed (MachineControl.cpp).
  uint32_t Eip() const;
  // Runs the call on from EIP toward its return (ReturnTrap), at most Count instructions (0: no
  // bound), and returns as uc_emu_start does (its uc_err). Once the driver has raised its
  // interrupt request the run stops before the next `pause`, and Interrupted says so until the
  // next Continue.
  int Continue(uint64_t Count);
  bool Interrupted() const { return interrupted_; }
  // Ends the call with Reason, at EIP, as a fault inside it would (also from inside a hook).
  void Stop(std::string Reason);
  // Whether a stop ended the run (a fault, a board's budget, a service the runner does not give,
  // the driver's Stop): the call then fails with its reason. A driver that ran ahead only to be
  // taken back by a checkpoint forgets it.
  bool Stopped() const { return stopped_; }
  void ForgetStop() { stopped_ = false; }
  // The call's instructions so far, where a driver counts them: checkpoints keep the count, so
  // that a place in the call is the same number however the run got there.
  uint64_t CallInstructions() const { return runner_.Instructions; }
  void SetCallInstructions(uint64_t Count) { runner_.Instructions = Count; }
  // A driver's stop can fall after the machine has counted the hint of the `pause` about to run
  // at this address (0: none); that instruction's hint is not counted again when it runs.
  uint64_t PauseCountedAt() const { return runner_.PauseCountedAt; }
  void SetPauseCountedAt(uint64_t Address) { runner_.PauseCountedAt = Address; }
  // The board the calls run on now (Reset and Replay change it).
  const sim::Board& GetBoard() const { return *board_; }
  // Registers by Unicorn's id (UC_X86_REG_*): Value gets the register's first bytes.
  bool ReadRegister(int Id, std::span<uint8_t> Value) const;
  bool WriteRegister(int Id, uint32_t Value);
  // A driver's own hooks (breakpoints, watchpoints, counting), called as Unicorn calls them: before
  // an instruction from Begin to End runs, and on a RAM access there (Type a uc_mem_type). Begin
  // past End hooks every address. They return the hook's handle, or 0 when it cannot be added.
  using CodeHook = void (*)(uc_struct* Cpu, uint64_t Address, uint32_t Size, void* Self);
  using AccessHook = bool (*)(uc_struct* Cpu, int Type, uint64_t Address, int Size, int64_t Value,
                              void* Self);
  size_t AddCodeHook(uint64_t Begin, uint64_t End, CodeHook Hook, void* Self);
  size_t AddAccessHook(bool Reads, bool Writes, uint64_t Begin, uint64_t End, AccessHook Hook,
                       void* Self);
  void RemoveHook(size_t Hook);
  // Hooks are compiled into the translations: the code from Begin to End is translated anew when
  // it next runs; with DropCodeTranslations, all the code there is.
  void DropTranslations(uint64_t Begin, uint64_t End);
  void DropCodeTranslations();

private:
  friend struct MachineHooks;

  // Ends the emulation from inside a hook, at Address.
  void Stop(std::string Reason, uint64_t Address);
  // Ends it from an access hook whose board access threw; where a board's budget ran out, at the
  // instruction that made the last access.
  void AccessFailed(const std::exception& Error);
  // Runs the call under way from From to its return.
  CallResult RunCall(uint64_t From);
  Checkpoint SaveAt(uint32_t Eip);
  // The block hook's part: a checkpoint for the recorder, when one is due, at the block at Eip.
  void CheckpointDue(uint32_t Eip);
  void NextCheckpoint();
  // The block hook's part once the run reaches attendAccess_: a checkpoint that is due, and the
  // site hook when the board has come close to a budget.
  void Attend(uint32_t Eip);
  // Runs from EIP to Until, at most Count instructions (0: no bound), as uc_emu_start does (its
  // uc_err), and on through the stops Attend makes to have a block translated anew.
  int Emulate(uint64_t Until, size_t Count);
  std::string StackOverflow(uint64_t Address, int Size) const;
  // Instructions in the translated block that starts at Address, the first time it runs.
  uint32_t BlockInstructions(uint64_t Address);
  void RunawayStop(uint64_t Address);
  // Measuring mode: a register access was made; PortRead says whether it was an IN.
  void CountAccess(bool PortRead);
  void MapImage(const PeImage& Image);
  void MapHandoff();
  void LoadHobList(std::span<const uint8_t> HobList);
  void MapStack();
  void InstallHooks(const PeImage& Image);
  // Puts the access-site hook on or off as the run needs it (see sitesAsked_, siteHook_) and sets
  // the access at which to look again.
  void FollowBudgets();
  void SetSiteHook(bool On);
  std::string Where(uint64_t Address) const;

  uc_struct* uc_ = nullptr;
  sim::Board* board_;
  Ram ram_;
  uint64_t instructionLimit_;
  uint32_t imageBase_ = LoadBase;
  uint32_t imageSize_ = 0;
  uint32_t handoffSize_ = 0;
  uint32_t stackBytes_;
  uint32_t stackTop_;
  bool stopped_ = false;
  std::string stopReason_;
  uint64_t stopAddress_ = 0;
  // By image offset: whether the bytes there are a `pause`, and whether the runner has rewritten
  // one it executed there.
  enum class PauseSite : uint8_t { None, Pause, Rewritten };
  std::vector<PauseSite> pauseSites_;
  std::vector<uint16_t> blockInstructions_; // by image offset of a block's start; 0 not yet known
  bool counting_ = false;
  RunnerState runner_;
  size_t call_ = 0; // calls started since the machine was made or reset
  // The RAM the run started with, and the machine as it was made (before any HOB list), for Reset.
  std::shared_ptr<const RamImage> origin_;
  std::shared_ptr<const RamImage> pristine_;
  std::shared_ptr<const uc_context> pristineCpu_;
  CheckpointRecorder* recorder_ = nullptr;
  uint64_t nextCheckpointAccess_ = ~uint64_t{0};
  uint64_t nextCheckpointNs_ = ~uint64_t{0};
  struct ReplayPlan {
    std::span<const CallEnd> Earlier;
    const Checkpoint* From;
    const std::vector<sim::Access>* KeptFrom;
  };
  std::optional<ReplayPlan> replay_;
  // A trace has asked for each access's instruction address (Trace::WithSites): a hook on every
  // instruction of the image names it, at a cost only such runs pay.
  bool sitesAsked_ = false;
  // That hook, while it is on: where asked, and wherever the board is close to a budget, so that
  // a stuck run names the instruction that made its last access. The block hook looks again at
  // attendAccess_ accesses: the next checkpoint's, or where a budget could first be close.
  size_t siteHook_ = 0;
  uint64_t sitesFromAccess_ = ~uint64_t{0};
  uint64_t attendAccess_ = ~uint64_t{0};
  // Inside Emulate (of no more than one counted instruction), Attend may stop the run to start it
  // again at a block translated anew: the block's address.
  bool mayRestart_ = false;
  std::optional<uint32_t> restartAt_;
  // With a driver: the run goes through it, and stops at the next `pause` when it asks.
  CallDriver* driver_ = nullptr;
  const std::atomic<bool>* interruptRequested_ = nullptr;
  bool interrupted_ = false;
  bool counted_ = false; // a run was given an instruction count (see Continue)
};

} // namespace emu

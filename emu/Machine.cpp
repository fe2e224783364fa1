#include "emu/Machine.h"

#include "common/Format.h"
#include "sim/HobList.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

namespace emu {

namespace {

constexpr uint32_t RoundUpToPage(uint64_t Size) {
  return static_cast<uint32_t>((Size + PageSize - 1) & ~uint64_t{PageSize - 1});
}

// EFI_PEI_SERVICES: EFI_TABLE_HEADER, then one pointer per service.
constexpr uint64_t PeiServicesSignature = 0x5652455320494550; // "PEI SERV"
constexpr uint32_t PeiServicesRevision = (1u << 16) | 70;
constexpr uint32_t TableHeaderSize = 24;
constexpr uint32_t ServiceCount = 28;
constexpr uint32_t ServicesTableSize = TableHeaderSize + 4 * ServiceCount;
constexpr uint32_t GetHobListOffset = 0x30;
static_assert(ServicesTable + ServicesTableSize <= ServicesCell);
static_assert(ServiceStubs + ServiceCount * ServiceStubSize <= ReturnTrap);

constexpr uint32_t SectionWritable = 0x80000000; // IMAGE_SCN_MEM_WRITE

constexpr uint8_t OpRet = 0xC3;
constexpr uint8_t OpInt3 = 0xCC;
constexpr uint8_t OpPause[] = {0xF3, 0x90};
constexpr uint8_t OpNop2[] = {0x66, 0x90}; // as long as a pause, and without its effect
static_assert(sizeof OpNop2 == sizeof OpPause);
// Pause sites at most this many bytes apart share one code hook. Every instruction in a hook's
// range calls it, so the ranges are kept tight: sites further apart get hooks of their own.
constexpr uint32_t PauseSitesSharingAHook = 16;

constexpr uint32_t EfiSuccess = 0;
// The site hook goes on once the board is this many accesses from a budget, at the start of the
// next translated block. The block that came close runs on without it, and no block comes near
// this many accesses (one holds at most 512 instructions, and the module's make one access each);
// the hook then costs a call on each instruction of a stuck run's last few thousand accesses.
constexpr uint64_t BudgetMargin = 4096;
// Above the top of the stack: what a PEI core leaves there is not the module's.
constexpr uint32_t AboveStackTop = StackSize - DefaultStackBytes;
// A fault this far below the stack is taken for the module running off its end.
constexpr uint32_t StackGuard = 0x10000;
static_assert(HobListBase + sim::HandoffMemoryBytes <= StackBase - StackGuard);

void Check(uc_err Error, const char* What) {
  if (Error != UC_ERR_OK) {
    throw std::runtime_error(std::string("image runner: ") + What + ": " + uc_strerror(Error));
  }
}

void Put32(uint8_t* Bytes, uint32_t Value) {
  for (int byte = 0; byte < 4; ++byte) {
    Bytes[byte] = static_cast<uint8_t>(Value >> (8 * byte));
  }
}

void FreeContext(const uc_context* Context) {
  uc_context_free(const_cast<uc_context*>(Context));
}

std::shared_ptr<const uc_context> SaveContext(uc_engine* Uc) {
  uc_context* context = nullptr;
  Check(uc_context_alloc(Uc, &context), "CPU context");
  std::shared_ptr<const uc_context> saved(context, FreeContext);
  Check(uc_context_save(Uc, context), "CPU context");
  return saved;
}

// The emulator keeps the arithmetic flags lazily: as the last operation and its operands, which a
// context saved inside a translated block holds in a form the next block does not always read
// back (a restore run for one instruction read EFLAGS as 0). Writing back the flags the restored
// context reads leaves them in their plain form, the same value, whatever ran before.
void RestoreContext(uc_engine* Uc, const uc_context& Context) {
  Check(uc_context_restore(Uc, const_cast<uc_context*>(&Context)), "CPU context");
  uint32_t eflags = 0;
  Check(uc_reg_read(Uc, UC_X86_REG_EFLAGS, &eflags), "EFLAGS");
  Check(uc_reg_write(Uc, UC_X86_REG_EFLAGS, &eflags), "EFLAGS");
}

const char* ExceptionName(uint32_t Vector) {
  switch (Vector) {
  case 0:
    return "divide error";
  case 3:
    return "breakpoint";
  case 6:
    return "invalid opcode";
  case 13:
    return "general protection";
  case 14:
    return "page fault";
  default:
    return "interrupt";
  }
}

const char* AccessName(uc_mem_type Type) {
  switch (Type) {
  case UC_MEM_READ_UNMAPPED:
  case UC_MEM_READ_PROT:
    return "read of";
  case UC_MEM_WRITE_UNMAPPED:
  case UC_MEM_WRITE_PROT:
    return "write to";
  default:
    return "instruction fetch from";
  }
}

} // namespace

// Unicorn calls back through C function pointers: nothing may throw through it, so every
// board access is wrapped, and a stuck run (the board's budget) or any other failure of the
// board stops the emulation instead.
struct MachineHooks {
  template <typename F> static auto Guard(Machine& M, F Access, decltype(Access()) Failed) {
    try {
      return Access();
    } catch (const std::exception& error) {
      M.AccessFailed(error);
    }
    return Failed;
  }

  static uint32_t In(uc_engine*, uint32_t Port, int Size, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    m.CountAccess(true);
    const auto width = static_cast<unsigned>(Size * 8);
    return Guard(
        m, [&] { return m.board_->Read(sim::Space::Port, Port, width); }, sim::AllOnes(width));
  }

  static void Out(uc_engine*, uint32_t Port, int Size, uint32_t Value, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    m.CountAccess(false);
    Guard(
        m,
        [&] {
          m.board_->Write(sim::Space::Port, Port, static_cast<unsigned>(Size * 8), Value);
          return true;
        },
        false);
  }

  // Unicorn splits wider accesses (an x87 or MMX load) into 32-bit ones before they get here.
  static uint64_t MmioRead(uc_engine*, uint64_t Offset, unsigned Size, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    m.CountAccess(false);
    const uint32_t address = static_cast<uint32_t>(BoardMemoryBase + Offset);
    return Guard(
        m, [&] { return m.board_->Read(sim::Space::Memory, address, Size * 8); },
        sim::AllOnes(Size * 8));
  }

  static void MmioWrite(uc_engine*, uint64_t Offset, unsigned Size, uint64_t Value, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    m.CountAccess(false);
    const uint32_t address = static_cast<uint32_t>(BoardMemoryBase + Offset);
    Guard(
        m,
        [&] {
          m.board_->Write(sim::Space::Memory, address, Size * 8, static_cast<uint32_t>(Value));
          return true;
        },
        false);
  }

  // Installed over the image's code only when a trace asks where each access was made, or when
  // the run comes close to one of the board's budgets: it names each instruction before it runs.
  // EIP read from inside an access hook is not enough: the emulator keeps it exact at a memory
  // access only for an instruction a memory hook watches, and at a port instruction not at all
  // (it reads the translated block's start, which depends on what was translated before).
  static void Site(uc_engine*, uint64_t Address, uint32_t, void* Self) {
    static_cast<Machine*>(Self)->board_->GetTrace().SetSite(static_cast<uint32_t>(Address));
  }

  // Installed only over the addresses where a `pause` starts, so it costs nothing elsewhere; a
  // range that holds several also covers the instructions between them.
  //
  // The emulator ends its translated block at every `pause` and leaves its execution loop, which
  // costs more than the rest of a busy-wait's round. The hint has no architectural effect, and
  // this hook, not the instruction, tells the board about it: so a `pause` that has been executed
  // (and is thereby known to start an instruction, not to be bytes inside another) is rewritten
  // to the two-byte `nop` (66 90), and its translation dropped. This hook stays on its address
  // and keeps counting every hint.
  static void Pause(uc_engine* Uc, uint64_t Address, uint32_t, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    const uint64_t at = Address - m.imageBase_;
    if (at >= m.pauseSites_.size() || m.pauseSites_[at] == Machine::PauseSite::None) {
      return;
    }
    // A debugger's Ctrl-C stops the module here, in a busy-wait, where it spends nearly all of
    // its time: a code hook stops the emulation exactly before its instruction, where a stop
    // from elsewhere may land mid-block and have an access made again on resuming.
    if (m.interruptRequested_ != nullptr &&
        m.interruptRequested_->load(std::memory_order_relaxed)) {
      m.interrupted_ = true;
      uc_emu_stop(Uc);
      return;
    }
    if (Address == m.runner_.PauseCountedAt) {
      m.runner_.PauseCountedAt = 0;
      return;
    }
    m.board_->Pause();
    if (m.pauseSites_[at] == Machine::PauseSite::Pause &&
        uc_mem_write(Uc, Address, OpNop2, sizeof OpNop2) == UC_ERR_OK &&
        uc_ctl_remove_cache(Uc, Address, Address + sizeof OpNop2) == UC_ERR_OK) {
      m.pauseSites_[at] = Machine::PauseSite::Rewritten;
      // The blocks that held it ended at it; their new translations run on past it.
      std::fill(m.blockInstructions_.begin(), m.blockInstructions_.end(), 0);
    }
  }

  // Runs on the first instruction of a service stub: GetHobList is answered here and its
  // stub's `ret` returns to the caller; any other service stops the run.
  static void Service(uc_engine* Uc, uint64_t Address, uint32_t, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    const uint32_t slot =
        TableHeaderSize + 4 * static_cast<uint32_t>((Address - ServiceStubs) / ServiceStubSize);
    if (slot != GetHobListOffset) {
      m.Stop("called the PEI service at table offset " + tools::Hex(slot, 8) +
             ", which the runner does not provide");
      return;
    }
    // EFIAPI on IA32 is cdecl: [esp] return address, [esp+4] PeiServices, [esp+8] HobList.
    uint32_t esp = 0;
    uint32_t hobListPointer = 0;
    uc_reg_read(Uc, UC_X86_REG_ESP, &esp);
    uc_mem_read(Uc, esp + 8, &hobListPointer, sizeof hobListPointer);
    const uint32_t list = HobListBase;
    if (uc_mem_write(Uc, hobListPointer, &list, sizeof list) != UC_ERR_OK) {
      m.Stop("GetHobList was given HobList " + tools::Hex(hobListPointer, 8) +
             ", which is not RAM");
      return;
    }
    m.board_->Strikes().HandedOver(); // a fault in the list strikes here
    uint32_t status = EfiSuccess;
    uc_reg_write(Uc, UC_X86_REG_EAX, &status);
  }

  // The runaway guard, on every translated block as it starts: a module stuck in a loop that
  // makes no access is stopped here. It counts only the instructions since the last register
  // access, so every run that makes accesses is ended by the board's budgets, at the same access
  // as the host build. It runs on every block, so what it does for a block seen before stays
  // short and the rest is out of line.
  //
  // A checkpoint that is due is taken here too, first: a block start is where the CPU's state is
  // whole, and the block runs again from its start when the checkpoint is restored. So is the
  // look at how close the board is to its budgets, which one comparison keeps rare.
  static void Block(uc_engine*, uint64_t Address, uint32_t, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    const uint64_t accesses = m.board_->AccessCount();
    if (accesses >= m.attendAccess_ || m.board_->GetClock().NowNs() >= m.nextCheckpointNs_)
        [[unlikely]] {
      m.Attend(static_cast<uint32_t>(Address));
      if (m.restartAt_) {
        return; // the block has not run, and starts again: it is counted then
      }
    }
    if (m.instructionLimit_ == 0) {
      return;
    }
    if (accesses != m.runner_.AccessesSeen) {
      m.runner_.AccessesSeen = accesses;
      m.runner_.Executed = 0;
    }
    const uint64_t at = Address - m.imageBase_;
    const uint32_t known = at < m.blockInstructions_.size() ? m.blockInstructions_[at] : 0;
    m.runner_.Executed += known != 0 ? known : m.BlockInstructions(Address);
    if (m.runner_.Executed > m.instructionLimit_) {
      m.RunawayStop(Address);
    }
  }

  // Measuring mode only: on every instruction, before it runs.
  static void Count(uc_engine*, uint64_t Address, uint32_t, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    const uint64_t at = Address - m.imageBase_;
    if (at < m.pauseSites_.size() && m.pauseSites_[at] != Machine::PauseSite::None) {
      m.runner_.InBusyWait = true;
    }
    ++(m.runner_.InBusyWait ? m.runner_.Counts.BusyWaitInstructions
                            : m.runner_.Counts.OtherInstructions);
  }

  static void Interrupt(uc_engine*, uint32_t Vector, void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    m.Stop("CPU exception " + std::to_string(Vector) + " (" + ExceptionName(Vector) + ")");
  }

  static bool BadMemory(uc_engine*, uc_mem_type Type, uint64_t Address, int Size, int64_t,
                        void* Self) {
    Machine& m = *static_cast<Machine*>(Self);
    if (Address < StackBase && Address + StackGuard >= StackBase && Type != UC_MEM_FETCH_UNMAPPED) {
      m.Stop(m.StackOverflow(Address, Size));
      return false;
    }
    m.Stop(std::string("CPU fault: ") + std::to_string(Size * 8) + "-bit " + AccessName(Type) +
           " unmapped address " + tools::Hex(Address, 8));
    return false;
  }
};

Machine::Machine(const PeImage& Image, sim::Board& Board, std::span<const uint8_t> HobList,
                 uint64_t InstructionLimit, bool CountInstructions, uint32_t StackBytes)
    : board_(&Board), instructionLimit_(InstructionLimit),
      stackBytes_(StackBytes == 0 ? DefaultStackBytes : StackBytes),
      stackTop_(StackBase + stackBytes_), counting_(CountInstructions) {
  if (stackBytes_ < sim::MinStackBytes || stackBytes_ > DefaultStackBytes ||
      stackBytes_ % 16 != 0) {
    throw std::invalid_argument("a stack of " + std::to_string(stackBytes_) +
                                " bytes: the runner gives a multiple of 16 from " +
                                std::to_string(sim::MinStackBytes) + " to " +
                                std::to_string(DefaultStackBytes));
  }
  if (HobList.size() > sim::MaxHobListBytes) {
    throw std::runtime_error("image runner: a HOB list of " + std::to_string(HobList.size()) +
                             " bytes does not fit the hand-off memory (at most " +
                             std::to_string(sim::MaxHobListBytes) + ")");
  }
  Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "cannot open the CPU");
  try {
    MapImage(Image);
    MapHandoff();
    MapStack();
    Check(uc_mmio_map(uc_, BoardMemoryBase, (uint64_t{1} << 32) - BoardMemoryBase,
                      MachineHooks::MmioRead, this, MachineHooks::MmioWrite, this),
          "board memory window");
    InstallHooks(Image);
    pristine_ = std::make_shared<const RamImage>(ram_.Snapshot());
    pristineCpu_ = SaveContext(uc_);
    LoadHobList(HobList);
  } catch (...) {
    uc_close(uc_);
    throw;
  }
}

Machine::~Machine() {
  uc_close(uc_);
}

void Machine::MapImage(const PeImage& Image) {
  CheckPlacement(Image);
  imageBase_ = Image.InPlace ? Image.ImageBase : LoadBase;
  imageSize_ = Image.SizeOfImage;
  const uint64_t end = uint64_t{imageBase_} + imageSize_;
  // A module placed in a volume starts wherever its section does; the pages around it are mapped.
  const uint32_t firstPage = imageBase_ & ~(PageSize - 1);
  const std::vector<uint8_t> memory = RelocatedMemory(Image, imageBase_);
  ram_.Map(uc_, firstPage, RoundUpToPage(end - firstPage), UC_PROT_ALL, true);
  std::copy(memory.begin(), memory.end(),
            ram_.At(imageBase_, static_cast<uint32_t>(memory.size())));
  // The module keeps no state of its own, but a section it may write is part of a checkpoint.
  for (const package::ImageSection& section : Image.Sections) {
    if ((section.Characteristics & SectionWritable) != 0 && section.MemorySize() != 0) {
      ram_.Save(imageBase_ + section.VirtualAddress, section.MemorySize());
    }
  }
}

void Machine::MapHandoff() {
  // The whole hand-off memory is mapped; what the list leaves free reads zero.
  handoffSize_ = PageSize + RoundUpToPage(sim::HandoffMemoryBytes);
  ram_.Map(uc_, HandoffBase, PageSize, UC_PROT_ALL, true);
  ram_.Map(uc_, HobListBase, handoffSize_ - PageSize, UC_PROT_ALL, false);
  ram_.Save(HandoffBase, handoffSize_);
  uint8_t* page = ram_.At(HandoffBase, PageSize);
  const auto at = [&](uint32_t Address) { return page + (Address - HandoffBase); };
  Put32(at(ServicesTable), static_cast<uint32_t>(PeiServicesSignature));
  Put32(at(ServicesTable + 4), static_cast<uint32_t>(PeiServicesSignature >> 32));
  Put32(at(ServicesTable + 8), PeiServicesRevision);
  Put32(at(ServicesTable + 12), ServicesTableSize);
  for (uint32_t service = 0; service < ServiceCount; ++service) {
    const uint32_t stub = ServiceStubs + ServiceStubSize * service;
    Put32(at(ServicesTable + TableHeaderSize + 4 * service), stub);
    *at(stub) = OpRet;
    for (uint32_t pad = 1; pad < ServiceStubSize; ++pad) {
      *at(stub + pad) = OpInt3;
    }
  }
  Put32(at(ServicesCell), ServicesTable);
  Put32(at(IdtBase - 4), ServicesCell);
  *at(ReturnTrap) = OpInt3; // never executed: the run ends on reaching it

  uc_x86_mmr idtr{};
  idtr.base = IdtBase;
  idtr.limit = IdtLimit;
  Check(uc_reg_write(uc_, UC_X86_REG_IDTR, &idtr), "IDTR");
}

// Unmapped below StackBase, so that a module that runs off the end of its stack faults at once.
void Machine::MapStack() {
  const uint32_t mapped = RoundUpToPage(stackBytes_ + AboveStackTop);
  ram_.Map(uc_, StackBase, mapped, UC_PROT_READ | UC_PROT_WRITE, false);
  ram_.Save(StackBase, mapped);
  uint8_t* bytes = ram_.At(StackBase, mapped);
  for (uint32_t at = 0; at < mapped; at += 4) {
    Put32(bytes + at, StackPaint);
  }
}

void Machine::LoadHobList(std::span<const uint8_t> List) {
  if (List.size() > sim::MaxHobListBytes) {
    throw std::runtime_error("image runner: a HOB list of " + std::to_string(List.size()) +
                             " bytes does not fit the hand-off memory (at most " +
                             std::to_string(sim::MaxHobListBytes) + ")");
  }
  std::copy(List.begin(), List.end(), ram_.At(HobListBase, static_cast<uint32_t>(List.size())));
  origin_ = std::make_shared<const RamImage>(ram_.Snapshot());
}

void Machine::InstallHooks(const PeImage& Image) {
  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(MachineHooks::In), this, 1, 0,
                    UC_X86_INS_IN),
        "IN hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(MachineHooks::Out), this, 1,
                    0, UC_X86_INS_OUT),
        "OUT hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(MachineHooks::Service), this,
                    ServiceStubs, ServiceStubs + ServiceCount * ServiceStubSize - 1),
        "PEI service hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(MachineHooks::Interrupt),
                    this, 1, 0),
        "interrupt hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID,
                    reinterpret_cast<void*>(MachineHooks::BadMemory), this, 1, 0),
        "fault hook");
  blockInstructions_.assign(Image.Memory.size(), 0);
  Check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(MachineHooks::Block), this,
                    1, 0),
        "block hook");
  if (counting_) {
    Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(MachineHooks::Count), this,
                      1, 0),
          "instruction count hook");
  }
  // An instruction starting at one of these addresses is a `pause`, whatever the bytes around.
  // Sites close together share one hook, so that an image full of them costs a few hooks, not
  // one per site (each hook is looked at on every instruction the emulator translates).
  pauseSites_.assign(Image.Memory.size(), PauseSite::None);
  std::optional<std::pair<uint32_t, uint32_t>> range;
  const auto installRange = [&] {
    Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(MachineHooks::Pause), this,
                      imageBase_ + uint64_t{range->first}, imageBase_ + uint64_t{range->second}),
          "pause hook");
  };
  for (uint32_t at = 0; at + 1 < Image.Memory.size(); ++at) {
    if (Image.Memory[at] != OpPause[0] || Image.Memory[at + 1] != OpPause[1]) {
      continue;
    }
    pauseSites_[at] = PauseSite::Pause;
    if (range && at - range->second <= PauseSitesSharingAHook) {
      range->second = at;
      continue;
    }
    if (range) {
      installRange();
    }
    range = {at, at};
  }
  if (range) {
    installRange();
  }
}

uint32_t Machine::PeiServices() const {
  return ServicesCell;
}

uint32_t Machine::HobListAddress() const {
  return HobListBase;
}

uint32_t Machine::ScratchAddress() const {
  return Scratch;
}

uint32_t Machine::StackUsed() const {
  const uint8_t* bytes = const_cast<Ram&>(ram_).At(StackBase, stackBytes_);
  uint8_t paint[4];
  Put32(paint, StackPaint);
  for (uint32_t at = 0; at < stackBytes_; ++at) {
    if (bytes[at] != paint[at % 4]) {
      return stackBytes_ - at;
    }
  }
  return 0;
}

std::string Machine::StackOverflow(uint64_t Address, int Size) const {
  return "stack overflow: " + std::to_string(Size * 8) + "-bit access to " +
         tools::Hex(Address, 8) + ", below the " + std::to_string(stackBytes_) +
         " bytes of stack at " + tools::Hex(StackBase, 8) + "-" + tools::Hex(stackTop_, 8);
}

// A `pause` the runner has rewritten reads as the `pause` it was: the rewrite is the runner's
// own, not the module's (its second byte, 90, is the same in both).
bool Machine::ReadMemory(uint32_t Address, std::span<uint8_t> Bytes) const {
  if (uint64_t{Address} + Bytes.size() > BoardMemoryBase ||
      uc_mem_read(uc_, Address, Bytes.data(), Bytes.size()) != UC_ERR_OK) {
    return false;
  }
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const uint64_t at = uint64_t{Address} + i - imageBase_;
    if (Address + i >= imageBase_ && at < pauseSites_.size() &&
        pauseSites_[at] == PauseSite::Rewritten) {
      Bytes[i] = OpPause[0];
    }
  }
  return true;
}

bool Machine::WriteMemory(uint32_t Address, std::span<const uint8_t> Bytes) {
  if (uint64_t{Address} + Bytes.size() > BoardMemoryBase) {
    return false;
  }
  return uc_mem_write(uc_, Address, Bytes.data(), Bytes.size()) == UC_ERR_OK;
}

// A budget ran out at the access just recorded, which the site hook has named since the run came
// close to it: the same instruction however the run was made (straight, from a checkpoint, under a
// debugger), where EIP here would name a translated block's start. Out of line, as the access
// hooks that call it run on every access.
void Machine::AccessFailed(const std::exception& Error) {
  const std::vector<sim::Access> last = board_->GetTrace().Recent(1);
  const bool stuck = dynamic_cast<const sim::BudgetExhausted*>(&Error) != nullptr;
  Stop(Error.what(), stuck && siteHook_ != 0 && !last.empty() ? last.back().Eip : Eip());
}

void Machine::Stop(std::string Reason, uint64_t Address) {
  if (!stopped_) {
    stopped_ = true;
    stopReason_ = std::move(Reason);
    stopAddress_ = Address;
  }
  uc_emu_stop(uc_);
}

void Machine::RunawayStop(uint64_t Address) {
  Stop("instruction budget of " + std::to_string(instructionLimit_) +
           " without a register access exhausted",
       Address);
}

uint32_t Machine::BlockInstructions(uint64_t Address) {
  const uint64_t at = Address - imageBase_;
  const bool inImage = at < blockInstructions_.size();
  // The block being started is in Unicorn's cache, so this looks it up and translates nothing.
  uc_tb block{};
  if (uc_ctl_request_cache(uc_, Address, &block) != UC_ERR_OK || block.icount == 0) {
    return 1; // never seen: count the block as one instruction rather than none
  }
  if (inImage) {
    blockInstructions_[at] = block.icount;
  }
  return block.icount;
}

void Machine::CountAccess(bool PortRead) {
  if (!counting_) {
    return;
  }
  if (runner_.InBusyWait && PortRead) {
    ++runner_.Counts.BusyWaitTimerReads;
    return;
  }
  runner_.InBusyWait = false;
  ++runner_.Counts.OtherAccesses;
}

std::string Machine::Where(uint64_t Address) const {
  std::string where = "at " + tools::Hex(Address, 8);
  if (Address >= imageBase_ && Address < uint64_t{imageBase_} + imageSize_) {
    where += " (image RVA " + tools::Hex(Address - imageBase_, 8) + ")";
  }
  return where;
}

CallResult Machine::Call(uint32_t Rva, std::span<const uint32_t> Arguments) {
  return CallAddress(imageBase_ + Rva, Arguments);
}

CallResult Machine::CallAddress(uint32_t Address, std::span<const uint32_t> Arguments) {
  const size_t call = call_++;
  if (replay_) {
    const ReplayPlan plan = *replay_;
    if (call < plan.From->Call) {
      if (call >= plan.Earlier.size()) {
        throw std::logic_error("image runner: a replay of more calls than were recorded");
      }
      Restore(plan.Earlier[call].End, plan.KeptFrom);
      return plan.Earlier[call].Result;
    }
    replay_.reset();
    Restore(*plan.From, plan.KeptFrom);
    return RunCall(plan.From->Eip);
  }
  std::vector<uint32_t> frame{ReturnTrap};
  frame.insert(frame.end(), Arguments.begin(), Arguments.end());
  const uint32_t esp = stackTop_ - 4 * static_cast<uint32_t>(frame.size());
  Check(uc_mem_write(uc_, esp, frame.data(), 4 * frame.size()), "stack frame");
  Check(uc_reg_write(uc_, UC_X86_REG_ESP, &esp), "ESP");
  runner_.CallStack = esp;
  runner_.Executed = 0;
  runner_.AccessesSeen = board_->AccessCount();
  runner_.Instructions = 0;
  return RunCall(Address);
}

CallResult Machine::RunCall(uint64_t From) {
  stopped_ = false;
  FollowBudgets();
  const uint32_t from = static_cast<uint32_t>(From);
  Check(uc_reg_write(uc_, UC_X86_REG_EIP, &from), "EIP");
  const auto error =
      static_cast<uc_err>(driver_ != nullptr ? driver_->DriveCall(*this) : Emulate(ReturnTrap, 0));
  CallResult result;
  const uint32_t eip = Eip();
  if (stopped_) {
    result.Failure = stopReason_ + " " + Where(stopAddress_);
  } else if (error != UC_ERR_OK) {
    result.Failure = std::string("CPU fault: ") + uc_strerror(error) + " " + Where(eip);
  } else if (eip != ReturnTrap) {
    // Unicorn also returns success on `hlt`.
    uint8_t previous = 0;
    uc_mem_read(uc_, eip - 1, &previous, 1);
    result.Failure =
        previous == 0xF4 ? "halted " + Where(eip - 1) : "stopped for no known reason " + Where(eip);
  } else {
    uint32_t espAfter = 0;
    uc_reg_read(uc_, UC_X86_REG_EAX, &result.Eax);
    uc_reg_read(uc_, UC_X86_REG_EDX, &result.Edx);
    uc_reg_read(uc_, UC_X86_REG_ESP, &espAfter);
    result.Returned = true;
    result.StackPopped = espAfter - (runner_.CallStack + 4);
  }
  if (!result.Returned) {
    result.Failure += sim::LastAccessesText(board_->GetTrace());
  }
  if (recorder_ != nullptr) {
    recorder_->Returned(result, SaveAt(eip));
  }
  return result;
}

Checkpoint Machine::Save() {
  return SaveAt(Eip());
}

Checkpoint Machine::SaveAt(uint32_t Eip) {
  Checkpoint checkpoint;
  checkpoint.Call = call_ == 0 ? 0 : call_ - 1;
  checkpoint.Eip = Eip;
  checkpoint.Cpu = SaveContext(uc_);
  checkpoint.CpuBytes = uc_context_size(uc_);
  checkpoint.Origin = origin_;
  checkpoint.Pages = ram_.Changes(*origin_);
  checkpoint.Runner = runner_;
  checkpoint.Board = board_->Save();
  return checkpoint;
}

void Machine::Restore(const Checkpoint& C, const std::vector<sim::Access>* KeptFrom) {
  board_->Restore(C.Board, KeptFrom);
  ram_.Restore(uc_, *C.Origin, C.Pages);
  origin_ = C.Origin;
  RestoreContext(uc_, *C.Cpu);
  Check(uc_reg_write(uc_, UC_X86_REG_EIP, &C.Eip), "EIP");
  runner_ = C.Runner;
  call_ = C.Call + 1;
  NextCheckpoint();
  FollowBudgets();
}

void Machine::Record(CheckpointRecorder* Recorder) {
  recorder_ = Recorder;
  NextCheckpoint();
}

void Machine::NextCheckpoint() {
  nextCheckpointAccess_ = recorder_ != nullptr ? recorder_->NextAccess() : ~uint64_t{0};
  nextCheckpointNs_ = recorder_ != nullptr ? recorder_->NextTimeNs() : ~uint64_t{0};
  attendAccess_ = std::min(nextCheckpointAccess_, sitesFromAccess_);
}

// Out of line, so that the block hook stays short, and nothing thrown may leave it: it runs inside
// the emulator's callback.
[[gnu::noinline]] void Machine::Attend(uint32_t Eip) try {
  if (board_->AccessCount() >= nextCheckpointAccess_ ||
      board_->GetClock().NowNs() >= nextCheckpointNs_) {
    CheckpointDue(Eip);
  }
  if (board_->AccessCount() >= sitesFromAccess_) {
    const bool watching = siteHook_ != 0;
    FollowBudgets();
    // A block that jumps to itself stays linked to its old translation when the cache drops it
    // (the emulator resets only the jumps of other blocks into it), so a busy-wait would never
    // see the hook just added. The run stops here, before the block runs, and Emulate starts it
    // again at the block, which is then translated anew.
    if (!watching && siteHook_ != 0 && mayRestart_ && !stopped_) {
      restartAt_ = Eip;
      uc_emu_stop(uc_);
    }
  }
} catch (const std::exception& error) {
  Stop(error.what(), Eip);
}

int Machine::Emulate(uint64_t Until, size_t Count) {
  // A run of several counted instructions may have run some before such a stop, which a run
  // started again would count again: it goes on without one, its blocks translated anew once it
  // ends. Only a debugger going back runs so, and it names no place where a budget runs out.
  mayRestart_ = Count <= 1;
  for (;;) {
    restartAt_.reset();
    const uc_err error = uc_emu_start(uc_, Eip(), Until, 0, Count);
    if (!restartAt_ || error != UC_ERR_OK || stopped_) {
      mayRestart_ = false;
      return error;
    }
    Check(uc_reg_write(uc_, UC_X86_REG_EIP, &*restartAt_), "EIP");
  }
}

void Machine::CheckpointDue(uint32_t Eip) {
  if (recorder_ == nullptr) {
    return;
  }
  try {
    recorder_->Taken(SaveAt(Eip));
  } catch (const std::bad_alloc&) {
    // Called from the emulator's hook: what the recorder cannot recover from ends the run here,
    // where the caller's handler sees it, not in the emulator's own frames.
    if (!recorder_->OutOfMemory()) {
      throw;
    }
  }
  NextCheckpoint();
}

void Machine::Replay(std::span<const CallEnd> Earlier, const Checkpoint& From, sim::Board& Board,
                     const std::vector<sim::Access>* KeptFrom) {
  board_ = &Board;
  call_ = 0;
  replay_ = ReplayPlan{Earlier, &From, KeptFrom};
}

// Looked at as each call starts or goes on from a checkpoint, and by the block hook. Once a board's
// trace asks where each access was made, the hook stays: a later board that does not ask only has
// its sites noted and dropped. Otherwise it is on only while the board is within BudgetMargin
// accesses of a budget, and the block hook looks again once the run could be.
void Machine::FollowBudgets() {
  sitesAsked_ = sitesAsked_ || board_->GetTrace().Sites();
  const uint64_t left = board_->AccessesLeft();
  const bool close = left <= BudgetMargin;
  SetSiteHook(sitesAsked_ || close);
  sitesFromAccess_ = close ? ~uint64_t{0} : board_->AccessCount() + (left - BudgetMargin);
  attendAccess_ = std::min(nextCheckpointAccess_, sitesFromAccess_);
}

void Machine::SetSiteHook(bool On) {
  if (On == (siteHook_ != 0)) {
    return;
  }
  if (On) {
    Check(uc_hook_add(uc_, &siteHook_, UC_HOOK_CODE, reinterpret_cast<void*>(MachineHooks::Site),
                      this, imageBase_, uint64_t{imageBase_} + imageSize_ - 1),
          "access site hook");
  } else {
    Check(uc_hook_del(uc_, siteHook_), "access site hook");
    siteHook_ = 0;
  }
  // Hooks are compiled into the translations: the image's blocks are made anew with it or
  // without it (the block hook stops a run whose block it cannot leave otherwise, see Attend).
  Check(uc_ctl_remove_cache(uc_, uint64_t{imageBase_}, uint64_t{imageBase_} + imageSize_),
        "translation cache");
}

void Machine::Reset(sim::Board& Board, std::span<const uint8_t> HobList) {
  board_ = &Board;
  replay_.reset();
  ram_.Restore(uc_, *pristine_, {});
  RestoreContext(uc_, *pristineCpu_);
  LoadHobList(HobList);
  runner_ = {};
  call_ = 0;
  NextCheckpoint();
}

} // namespace emu

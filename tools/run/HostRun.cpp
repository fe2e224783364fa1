#include "tools/run/HostRun.h"

#include "common/ToolError.h"
#include "entry/ModuleEntry.h"
#include "pmic/PeiServices.h"
#include "sim/HobWalk.h"
#include "tools/run/HostBus.h"

#include <algorithm>
#include <type_traits>

namespace tools {

// The PEI core's side of the hand-off: the services table, the pointer to it that the module is
// given (its address is the "PEI services pointer"), and the IDT with that pointer just below.
struct BoardInstallation::Handoff {
  // The cell the module's services pointer points at: the table pointer comes first, as the PEI
  // core has it, and the HOB list after it lets GetHobList answer from its first argument.
  struct ServicesCell {
    const EFI_PEI_SERVICES* TablePointer;
    void* HobList; // null: GetHobList leaves the caller's pointer alone
    EFI_STATUS Status;
    sim::StrikeLog* Strikes; // where the hand-over is noted: a fault in the list strikes there
  };
  static_assert(std::is_standard_layout_v<ServicesCell>);

  static EFI_STATUS GetHobList(const EFI_PEI_SERVICES** Services, void** List) {
    const ServicesCell& cell = *reinterpret_cast<const ServicesCell*>(Services);
    if (cell.HobList != nullptr) {
      *List = cell.HobList;
      cell.Strikes->HandedOver();
    }
    return cell.Status;
  }

  EFI_PEI_SERVICES Table{};
  ServicesCell Cell{};
  std::vector<uint64_t> Hobs; // 8-byte aligned, as the PEI core keeps HOBs
  uintptr_t IdtArea[2] = {};  // [0]: the word below the IDT; [1]: the IDT's first entry
};

struct BoardInstallation::Adapter final : HostBus {
  Adapter(sim::Board& B, uintptr_t Idt) : board(B), idt(Idt) {}
  uint32_t MmioRead(uint32_t Address, unsigned Width) override {
    return board.Read(sim::Space::Memory, Address, Width);
  }
  void MmioWrite(uint32_t Address, unsigned Width, uint32_t Value) override {
    board.Write(sim::Space::Memory, Address, Width, Value);
  }
  uint32_t IoRead(uint16_t Port, unsigned Width) override {
    return board.Read(sim::Space::Port, Port, Width);
  }
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override {
    board.Write(sim::Space::Port, Port, Width, Value);
  }
  void Pause() override { board.Pause(); }
  uintptr_t IdtBase() override { return idt; }

  sim::Board& board;
  uintptr_t idt;
};

BoardInstallation::BoardInstallation(sim::Board& Board, const PeiHandoff& Handoff)
    : handoff_(std::make_unique<struct Handoff>()) {
  // Board files are checked when read; this holds every other caller to the same rule, since the
  // module would walk outside the buffer below.
  if (const auto problem = sim::CheckHobWalk(Handoff.Hobs)) {
    throw ToolError("HOB list: HOB " + std::to_string(problem->Entry) + " " + problem->What,
                    ExitBadInput);
  }
  const std::vector<uint8_t> bytes = sim::BuildHobList(Handoff.Hobs, sizeof(void*));
  handoff_->Hobs.assign((std::max(bytes.size(), sim::HandoffMemoryBytes) + 7) / 8, 0);
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<uint8_t*>(handoff_->Hobs.data()));
  handoff_->Table.GetHobList = Handoff.GetHobListSlot ? &Handoff::GetHobList : nullptr;
  handoff_->Cell = {Handoff.Table ? &handoff_->Table : nullptr,
                    Handoff.ListPointer ? handoff_->Hobs.data() : nullptr, Handoff.GetHobListStatus,
                    &Board.Strikes()};
  if (Handoff.ServicesPointer) {
    handoff_->IdtArea[0] = reinterpret_cast<uintptr_t>(&handoff_->Cell);
  }
  const uintptr_t idt = Handoff.Idt ? reinterpret_cast<uintptr_t>(&handoff_->IdtArea[1]) : 0;
  adapter_ = std::make_unique<Adapter>(Board, idt);
  previous_ = InstallHostBus(adapter_.get());
}

BoardInstallation::~BoardInstallation() {
  InstallHostBus(previous_);
}

const uint8_t* BoardInstallation::HobList() const {
  return reinterpret_cast<const uint8_t*>(handoff_->Hobs.data());
}

RunResult RunHostModule(sim::Board& Board, const PeiHandoff& Handoff) {
  BoardInstallation installed(Board, Handoff);
  try {
    return RunResult{ModuleEntry(nullptr, nullptr), {}, std::nullopt};
  } catch (const sim::BudgetExhausted& stuck) {
    // The host build has no instruction addresses: the first line names none.
    return RunResult{std::nullopt, stuck.what() + sim::LastAccessesText(Board.GetTrace()),
                     std::nullopt};
  }
}

} // namespace tools

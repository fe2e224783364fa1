#include "tools/run/HostRun.h"

#include "entry/ModuleEntry.h"
#include "platform/host/HostBus.h"

namespace tools {

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

BoardInstallation::BoardInstallation(sim::Board& Board, uintptr_t IdtBase)
    : adapter_(new Adapter(Board, IdtBase)), previous_(InstallHostBus(adapter_)) {}

BoardInstallation::~BoardInstallation() {
  InstallHostBus(previous_);
  delete adapter_;
}

RunResult RunHostModule(sim::Board& Board) {
  BoardInstallation installed(Board);
  try {
    return RunResult{ModuleEntry(nullptr, nullptr), {}};
  } catch (const sim::BudgetExhausted& stuck) {
    return RunResult{std::nullopt, stuck.what()};
  }
}

} // namespace tools

// The machine's run control: what a driver (CallDriver) does with the call it is handed.
#include "emu/Machine.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace emu {

void Machine::Attach(CallDriver& Driver) {
  driver_ = &Driver;
  interruptRequested_ = &Driver.InterruptRequested();
}

uint32_t Machine::Eip() const {
  uint32_t eip = 0;
  uc_reg_read(uc_, UC_X86_REG_EIP, &eip);
  return eip;
}

int Machine::Continue(uint64_t Count) {
  interrupted_ = false;
  // Unicorn counts instructions with a hook of its own, added by the first run given a count; a
  // later run given none deletes that hook and flushes every translation, which resets its whole
  // code buffer: a gigabyte written and seconds lost, after every step and every going back. Once
  // a run was counted, a run without a limit is given one it cannot reach, and the hook stays.
  constexpr uint64_t NeverReached = uint64_t{1} << 62;
  if (Count != 0) {
    counted_ = true;
  } else if (counted_) {
    Count = NeverReached;
  }
  return Emulate(ReturnTrap, static_cast<size_t>(Count));
}

void Machine::Stop(std::string Reason) {
  Stop(std::move(Reason), Eip());
}

bool Machine::ReadRegister(int Id, std::span<uint8_t> Value) const {
  // The widest register Unicorn writes here: an x87 one, its 64-bit mantissa and then its 16-bit
  // sign and exponent.
  uint8_t bytes[16] = {};
  const bool read = uc_reg_read(uc_, Id, bytes) == UC_ERR_OK;
  std::memcpy(Value.data(), bytes, std::min(Value.size(), sizeof bytes));
  return read;
}

bool Machine::WriteRegister(int Id, uint32_t Value) {
  return uc_reg_write(uc_, Id, &Value) == UC_ERR_OK;
}

size_t Machine::AddCodeHook(uint64_t Begin, uint64_t End, CodeHook Hook, void* Self) {
  uc_hook hook = 0;
  return uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(Hook), Self, Begin, End) ==
                 UC_ERR_OK
             ? hook
             : 0;
}

size_t Machine::AddAccessHook(bool Reads, bool Writes, uint64_t Begin, uint64_t End,
                              AccessHook Hook, void* Self) {
  const int types = (Reads ? UC_HOOK_MEM_READ : 0) | (Writes ? UC_HOOK_MEM_WRITE : 0);
  uc_hook hook = 0;
  return uc_hook_add(uc_, &hook, types, reinterpret_cast<void*>(Hook), Self, Begin, End) ==
                 UC_ERR_OK
             ? hook
             : 0;
}

void Machine::RemoveHook(size_t Hook) {
  uc_hook_del(uc_, Hook);
}

void Machine::DropTranslations(uint64_t Begin, uint64_t End) {
  uc_ctl_remove_cache(uc_, Begin, End);
}

// The image's and the hand-off page's translations, the only code there is. (Unicorn's flush of
// every translation resets its whole code buffer and takes seconds.)
void Machine::DropCodeTranslations() {
  DropTranslations(HandoffBase, HandoffBase + uint64_t{handoffSize_});
  DropTranslations(imageBase_, imageBase_ + uint64_t{imageSize_});
}

} // namespace emu

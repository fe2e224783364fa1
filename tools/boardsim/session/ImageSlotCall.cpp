#include "tools/boardsim/session/ImageSlotCall.h"

#include "common/Format.h"
#include "emu/ImageRun.h"
#include "emu/Machine.h"

#include <algorithm>
#include <iterator>

namespace boardsim {

namespace {

constexpr uint32_t VariantIdOffset = 4;
constexpr uint32_t SlotsOffset = 8;
constexpr uint32_t DescriptorSize = SlotsOffset + emu::ImagePointerBytes * tools::SlotCount;

uint32_t Word(const uint8_t* Bytes, unsigned Width) {
  uint32_t value = 0;
  for (unsigned byte = 0; byte < Width; ++byte) {
    value |= static_cast<uint32_t>(Bytes[byte]) << (8 * byte);
  }
  return value;
}

// BOOLEAN and UINT8 come back in AL; the rest of EAX is whatever the callee left there.
uint32_t ReturnedValue(tools::SlotReturn Returns, uint32_t Eax) {
  return Returns == tools::SlotReturn::Boolean || Returns == tools::SlotReturn::Byte ? Eax & 0xFF
                                                                                     : Eax;
}

tools::SlotRun CallSlot(emu::Machine& M, uint32_t GetActivePmicRva, sim::Soc& Board,
                        const std::optional<tools::SlotRequest>& Request) {
  tools::SlotRun run;
  const emu::CallResult selection = M.Call(GetActivePmicRva, {});
  if (!selection.Returned) {
    run.Failure = selection.Failure;
    return run;
  }
  run.SelectionAccesses = Board.Bus.AccessCount();
  run.SelectionEndNs = Board.Bus.GetClock().NowNs();
  uint8_t descriptor[DescriptorSize];
  if (!M.ReadMemory(selection.Eax, descriptor)) {
    run.Failure = "GetActivePmic returned " + tools::Hex(selection.Eax, 8) + ", which is not RAM";
    return run;
  }
  run.Selected = true;
  run.VariantId = Word(descriptor + VariantIdOffset, 4);
  for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
    run.Filled[slot] = Word(descriptor + SlotsOffset + emu::ImagePointerBytes * slot, 4) != 0;
  }
  if (!Request || !run.Filled[Request->Slot]) {
    return run;
  }

  const tools::SlotSignature& signature = tools::PmicSlots[Request->Slot].Signature();
  std::vector<uint32_t> arguments(Request->Values.begin(), Request->Values.end());
  const uint32_t scratch = M.ScratchAddress();
  // Each pointer gets a word of its own, whatever it stores.
  uint8_t fill[emu::ImagePointerBytes * 2];
  std::fill(std::begin(fill), std::end(fill), tools::PointerFill);
  M.WriteMemory(scratch, fill);
  for (size_t i = 0; i < signature.PointerCount(); ++i) {
    arguments.push_back(Request->NullPointer ? 0 : scratch + emu::ImagePointerBytes * i);
  }
  run.Called = true;
  const emu::CallResult call = M.CallAddress(
      Word(descriptor + SlotsOffset + emu::ImagePointerBytes * Request->Slot, 4), arguments);
  if (!call.Returned) {
    run.Failure = call.Failure;
    return run;
  }
  run.Returned = ReturnedValue(signature.Returns, call.Eax);
  uint8_t stored[sizeof fill];
  M.ReadMemory(scratch, stored);
  for (size_t i = 0; i < signature.PointerCount() && !Request->NullPointer; ++i) {
    run.Stored.push_back(Word(stored + emu::ImagePointerBytes * i, signature.Pointers[i].Width));
  }
  return run;
}

} // namespace

tools::SlotRun CallSlotInImage(const emu::PeImage& Image, uint32_t GetActivePmicRva,
                               sim::Soc& Board, const std::optional<tools::SlotRequest>& Request,
                               emu::GdbServer* Debugger) {
  const emu::RunOptions options = emu::ImageRunOptions(Board.Config());
  emu::Machine machine(Image, Board.Bus, options.HobList, options.InstructionLimit, false,
                       options.StackBytes);
  if (Debugger != nullptr) {
    machine.Attach(*Debugger);
  }
  return CallSlotOn(machine, GetActivePmicRva, Board, Request);
}

tools::SlotRun CallSlotOn(emu::Machine& Machine, uint32_t GetActivePmicRva, sim::Soc& Board,
                          const std::optional<tools::SlotRequest>& Request) {
  tools::SlotRun run = CallSlot(Machine, GetActivePmicRva, Board, Request);
  run.StackUsed = Machine.StackUsed();
  return run;
}

} // namespace boardsim

#include "tools/run/SlotCall.h"

#include "pmic/PmicDescriptor.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace tools {

namespace {

template <SlotShape S> struct ShapeFunction;
template <> struct ShapeFunction<SlotShape::ReadByte> { using Type = PmicReadFn; };
template <> struct ShapeFunction<SlotShape::WriteByte> { using Type = PmicWriteFn; };
template <> struct ShapeFunction<SlotShape::Flag> { using Type = PmicFlagFn; };
template <> struct ShapeFunction<SlotShape::Identity> { using Type = PmicIdentityFn; };
template <> struct ShapeFunction<SlotShape::Step> { using Type = PmicStepFn; };
template <> struct ShapeFunction<SlotShape::Status> { using Type = PmicStatusFn; };
template <> struct ShapeFunction<SlotShape::Voltage> { using Type = PmicVoltageFn; };
template <> struct ShapeFunction<SlotShape::GetSelector> { using Type = PmicGetSelectorFn; };
template <> struct ShapeFunction<SlotShape::SetSelector> { using Type = PmicSetSelectorFn; };
template <> struct ShapeFunction<SlotShape::Level> { using Type = PmicLevelFn; };

// The slot table names each slot where the descriptor has it, with the function type it holds:
// a slot is called through the type its shape says, so a mismatch must not compile.
template <SlotShape S, typename Fn>
constexpr bool Pinned(size_t Slot, std::string_view Name, size_t Offset, Fn PmicDescriptor::*) {
  return std::is_same_v<Fn, typename ShapeFunction<S>::Type> && PmicSlots[Slot].Shape == S &&
         PmicSlots[Slot].Name == Name && Offset == PmicDescriptorSlotsOffset + Slot * sizeof(Fn);
}
using enum SlotShape;
using D = PmicDescriptor;
static_assert(PmicSlotCount == SlotCount);
static_assert(Pinned<ReadByte>(0, "ReadRegister", offsetof(D, ReadRegister), &D::ReadRegister));
static_assert(Pinned<WriteByte>(1, "WriteRegister", offsetof(D, WriteRegister), &D::WriteRegister));
static_assert(Pinned<ReadByte>(2, "ReadAuxRegister", offsetof(D, ReadAuxRegister),
                               &D::ReadAuxRegister));
static_assert(Pinned<WriteByte>(3, "WriteAuxRegister", offsetof(D, WriteAuxRegister),
                                &D::WriteAuxRegister));
static_assert(Pinned<Flag>(4, "Detect", offsetof(D, Detect), &D::Detect));
static_assert(Pinned<Identity>(5, "GetIdentity", offsetof(D, GetIdentity), &D::GetIdentity));
static_assert(Pinned<Step>(6, "InitStep1", offsetof(D, InitStep1), &D::InitStep1));
static_assert(Pinned<Step>(7, "InitStep2", offsetof(D, InitStep2), &D::InitStep2));
static_assert(Pinned<Step>(8, "InitStep3", offsetof(D, InitStep3), &D::InitStep3));
static_assert(Pinned<Step>(9, "InitStep4", offsetof(D, InitStep4), &D::InitStep4));
static_assert(Pinned<Step>(10, "InitStep5", offsetof(D, InitStep5), &D::InitStep5));
static_assert(Pinned<Status>(11, "GetStatus1", offsetof(D, GetStatus1), &D::GetStatus1));
static_assert(Pinned<Status>(12, "GetStatus2", offsetof(D, GetStatus2), &D::GetStatus2));
static_assert(Pinned<Status>(13, "GetStatus3", offsetof(D, GetStatus3), &D::GetStatus3));
static_assert(Pinned<Flag>(14, "GetFlag1", offsetof(D, GetFlag1), &D::GetFlag1));
static_assert(Pinned<Flag>(15, "GetFlag2", offsetof(D, GetFlag2), &D::GetFlag2));
static_assert(Pinned<Flag>(16, "GetFlag3", offsetof(D, GetFlag3), &D::GetFlag3));
static_assert(Pinned<Step>(17, "ClearStatus2", offsetof(D, ClearStatus2), &D::ClearStatus2));
static_assert(Pinned<Step>(18, "ClearStatus1", offsetof(D, ClearStatus1), &D::ClearStatus1));
static_assert(Pinned<Voltage>(19, "ReadVoltage", offsetof(D, ReadVoltage), &D::ReadVoltage));
static_assert(Pinned<Flag>(20, "GetFlag4", offsetof(D, GetFlag4), &D::GetFlag4));
static_assert(Pinned<GetSelector>(21, "GetSelector", offsetof(D, GetSelector), &D::GetSelector));
static_assert(Pinned<SetSelector>(22, "SetSelector", offsetof(D, SetSelector), &D::SetSelector));
static_assert(Pinned<Level>(23, "GetLevel", offsetof(D, GetLevel), &D::GetLevel));
static_assert(Pinned<Step>(24, "InitStep6", offsetof(D, InitStep6), &D::InitStep6));

using AnyFunction = void (*)();

// Slot n as a caller finds it, at descriptor + 8 + n pointers.
AnyFunction SlotFunction(const PmicDescriptor& Descriptor, size_t Slot) {
  AnyFunction function;
  std::memcpy(&function,
              reinterpret_cast<const uint8_t*>(&Descriptor) + PmicDescriptorSlotsOffset +
                  Slot * sizeof(AnyFunction),
              sizeof function);
  return function;
}

template <SlotShape S> typename ShapeFunction<S>::Type As(AnyFunction Function) {
  return reinterpret_cast<typename ShapeFunction<S>::Type>(Function);
}

void Call(AnyFunction Function, const SlotRequest& Request, SlotRun& Run) {
  const std::vector<uint8_t>& v = Request.Values;
  uint8_t bytes[2] = {PointerFill, PointerFill};
  uint32_t word = PointerFill * 0x01010101u;
  switch (PmicSlots[Request.Slot].Shape) {
  case ReadByte:
    Run.Returned = As<ReadByte>(Function)(v.at(0));
    break;
  case WriteByte:
    Run.Returned = As<WriteByte>(Function)(v.at(0), v.at(1));
    break;
  case Flag:
    Run.Returned = As<Flag>(Function)();
    break;
  case Identity:
    Run.Returned = As<Identity>(Function)(&bytes[0], &bytes[1]);
    Run.Stored = {bytes[0], bytes[1]};
    break;
  case Step:
    Run.Returned = As<Step>(Function)();
    break;
  case Status:
    Run.Returned = As<Status>(Function)(Request.NullPointer ? nullptr : &word);
    if (!Request.NullPointer) {
      Run.Stored = {word};
    }
    break;
  case Voltage:
    Run.Returned = As<Voltage>(Function)();
    break;
  case GetSelector:
    Run.Returned = As<GetSelector>(Function)(&bytes[0]);
    Run.Stored = {bytes[0]};
    break;
  case SetSelector:
    Run.Returned = As<SetSelector>(Function)(v.at(0));
    break;
  case Level:
    Run.Returned = As<Level>(Function)();
    break;
  }
}

} // namespace

bool OpenAcpiWindowAsEntryLeavesIt(sim::BoardConfig& Board) {
  constexpr uint16_t DecodeBit = 0x0002;
  constexpr uint16_t EntryValue = 0x0402;
  if ((Board.AcpiBase & DecodeBit) != 0) {
    return false;
  }
  Board.AcpiBase = EntryValue;
  return true;
}

SlotRun CallSlotOnHost(sim::Board& Board, const PeiHandoff& Handoff,
                       const std::optional<SlotRequest>& Request) {
  BoardInstallation installed(Board, Handoff);
  SlotRun run;
  try {
    const PmicDescriptor& descriptor = *GetActivePmic();
    run.Selected = true;
    run.VariantId = descriptor.VariantId;
    run.SelectionAccesses = Board.AccessCount();
    run.SelectionEndNs = Board.GetClock().NowNs();
    for (size_t slot = 0; slot < SlotCount; ++slot) {
      run.Filled[slot] = SlotFunction(descriptor, slot) != nullptr;
    }
    if (Request && run.Filled[Request->Slot]) {
      run.Called = true;
      Call(SlotFunction(descriptor, Request->Slot), *Request, run);
    }
  } catch (const sim::BudgetExhausted& stuck) {
    run.Failure = stuck.what() + sim::LastAccessesText(Board.GetTrace());
  }
  return run;
}

} // namespace tools

#include "tools/run/PmicSlots.h"

#include <numeric>

namespace tools {

namespace {

const char* TypeName(SlotReturn Returns) {
  switch (Returns) {
  case SlotReturn::Status:
    return "EFI_STATUS";
  case SlotReturn::Boolean:
    return "BOOLEAN";
  case SlotReturn::Byte:
    return "UINT8";
  case SlotReturn::Millivolts:
    return "UINT32";
  }
  return "?";
}

} // namespace

const SlotSignature& SignatureOf(SlotShape Shape) {
  static constexpr SlotPointer id{"Id", 1};
  static constexpr SlotPointer revision{"Revision", 1};
  static constexpr SlotPointer status{"Status", 4};
  static constexpr SlotPointer selector{"Selector", 1};
  static constexpr SlotSignature readByte{SlotReturn::Byte, {"Register"}, {}, false};
  static constexpr SlotSignature writeByte{SlotReturn::Status, {"Register", "Value"}, {}, false};
  static constexpr SlotSignature flag{SlotReturn::Boolean, {}, {}, false};
  static constexpr SlotSignature identity{SlotReturn::Status, {}, {id, revision}, false};
  static constexpr SlotSignature step{SlotReturn::Status, {}, {}, false};
  static constexpr SlotSignature statusBits{SlotReturn::Status, {}, {status}, true};
  static constexpr SlotSignature voltage{SlotReturn::Millivolts, {}, {}, false};
  static constexpr SlotSignature getSelector{SlotReturn::Status, {}, {selector}, false};
  static constexpr SlotSignature setSelector{SlotReturn::Status, {"Selector"}, {}, false};
  static constexpr SlotSignature level{SlotReturn::Byte, {}, {}, false};
  switch (Shape) {
  case SlotShape::ReadByte:
    return readByte;
  case SlotShape::WriteByte:
    return writeByte;
  case SlotShape::Flag:
    return flag;
  case SlotShape::Identity:
    return identity;
  case SlotShape::Step:
    return step;
  case SlotShape::Status:
    return statusBits;
  case SlotShape::Voltage:
    return voltage;
  case SlotShape::GetSelector:
    return getSelector;
  case SlotShape::SetSelector:
    return setSelector;
  case SlotShape::Level:
    return level;
  }
  return step;
}

std::optional<size_t> FindSlot(std::string_view Name) {
  for (size_t slot = 0; slot < PmicSlots.size(); ++slot) {
    if (Name == PmicSlots[slot].Name) {
      return slot;
    }
  }
  return std::nullopt;
}

std::vector<size_t> EverySlot() {
  std::vector<size_t> slots(SlotCount);
  std::iota(slots.begin(), slots.end(), size_t{0});
  return slots;
}

std::string CSignature(const PmicSlot& Slot) {
  const SlotSignature& signature = Slot.Signature();
  std::string parameters;
  for (size_t i = 0; i < signature.ValueCount(); ++i) {
    parameters += (i == 0 ? "UINT8 " : ", UINT8 ") + std::string(signature.Values[i]);
  }
  for (size_t i = 0; i < signature.PointerCount(); ++i) {
    const SlotPointer& pointer = signature.Pointers[i];
    parameters += std::string(i == 0 ? "" : ", ") + (pointer.Width == 4 ? "UINT32 *" : "UINT8 *") +
                  pointer.Name;
  }
  return std::string(TypeName(signature.Returns)) + " " + Slot.Name + "(" +
         (parameters.empty() ? "VOID" : parameters) + ")";
}

} // namespace tools

// The 25 operation slots of a PMIC descriptor as a caller sees them: each slot's name and the
// shape of its C signature, in descriptor order (slot n at descriptor + 8 + n pointers).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// What a slot returns. ReadVoltage's UINT32 is the converter's reading scaled by the variant's
// fixed factor onto 0 to 5000 for the converter's full range: millivolts of a 5 V reference.
enum class SlotReturn : uint8_t { Status, Boolean, Byte, Millivolts };

// A pointer argument: the slot stores Width bytes through it.
struct SlotPointer {
  const char* Name;
  uint8_t Width;
};

// Every signature of the descriptor. A slot takes UINT8 values or pointers, never both.
enum class SlotShape : uint8_t {
  ReadByte,    // UINT8 (UINT8 Register)
  WriteByte,   // EFI_STATUS (UINT8 Register, UINT8 Value)
  Flag,        // BOOLEAN (VOID)
  Identity,    // EFI_STATUS (UINT8 *Id, UINT8 *Revision)
  Step,        // EFI_STATUS (VOID)
  Status,      // EFI_STATUS (UINT32 *Status), tests Status for null
  Voltage,     // UINT32 (VOID)
  GetSelector, // EFI_STATUS (UINT8 *Selector)
  SetSelector, // EFI_STATUS (UINT8 Selector)
  Level,       // UINT8 (VOID)
};

struct SlotSignature {
  SlotReturn Returns;
  std::array<const char*, 2> Values;   // names of the UINT8 arguments; null past the last
  std::array<SlotPointer, 2> Pointers; // null names past the last
  bool TestsNull;                      // a null pointer is refused with EFI_INVALID_PARAMETER

  size_t ValueCount() const { return Values[0] == nullptr ? 0 : Values[1] == nullptr ? 1 : 2; }
  size_t PointerCount() const {
    return Pointers[0].Name == nullptr ? 0 : Pointers[1].Name == nullptr ? 1 : 2;
  }
};

const SlotSignature& SignatureOf(SlotShape Shape);

struct PmicSlot {
  const char* Name;
  SlotShape Shape;
  const SlotSignature& Signature() const { return SignatureOf(Shape); }
};

inline constexpr size_t SlotCount = 25;

inline constexpr std::array<PmicSlot, SlotCount> PmicSlots = {{
    {"ReadRegister", SlotShape::ReadByte},
    {"WriteRegister", SlotShape::WriteByte},
    {"ReadAuxRegister", SlotShape::ReadByte},
    {"WriteAuxRegister", SlotShape::WriteByte},
    {"Detect", SlotShape::Flag},
    {"GetIdentity", SlotShape::Identity},
    {"InitStep1", SlotShape::Step},
    {"InitStep2", SlotShape::Step},
    {"InitStep3", SlotShape::Step},
    {"InitStep4", SlotShape::Step},
    {"InitStep5", SlotShape::Step},
    {"GetStatus1", SlotShape::Status},
    {"GetStatus2", SlotShape::Status},
    {"GetStatus3", SlotShape::Status},
    {"GetFlag1", SlotShape::Flag},
    {"GetFlag2", SlotShape::Flag},
    {"GetFlag3", SlotShape::Flag},
    {"ClearStatus2", SlotShape::Step},
    {"ClearStatus1", SlotShape::Step},
    {"ReadVoltage", SlotShape::Voltage},
    {"GetFlag4", SlotShape::Flag},
    {"GetSelector", SlotShape::GetSelector},
    {"SetSelector", SlotShape::SetSelector},
    {"GetLevel", SlotShape::Level},
    {"InitStep6", SlotShape::Step},
}};

std::optional<size_t> FindSlot(std::string_view Name);
// Every slot's index, in descriptor order.
std::vector<size_t> EverySlot();

// "EFI_STATUS GetIdentity(UINT8 *Id, UINT8 *Revision)"
std::string CSignature(const PmicSlot& Slot);

} // namespace tools

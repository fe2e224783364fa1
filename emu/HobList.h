// The hand-off block list the runner gives the image through GetHobList, in the PI
// specification's layout: every HOB starts with EFI_HOB_GENERIC_HEADER (UINT16 HobType, UINT16
// HobLength counting the whole HOB, UINT32 reserved), and a HOB of type 0xFFFF ends the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace emu {

constexpr uint16_t HobTypeGuidExtension = 0x0004;
constexpr uint16_t HobTypeEndOfHobList = 0xFFFF;
constexpr uint16_t HobGenericHeaderSize = 8;

// Appends one HOB header; the caller appends the HOB's body (HobLength - 8 bytes) after it.
inline void AppendHobHeader(std::vector<uint8_t>& List, uint16_t Type, uint16_t Length) {
  const std::size_t at = List.size();
  List.resize(at + HobGenericHeaderSize, 0); // the reserved word stays 0
  List[at] = static_cast<uint8_t>(Type);
  List[at + 1] = static_cast<uint8_t>(Type >> 8);
  List[at + 2] = static_cast<uint8_t>(Length);
  List[at + 3] = static_cast<uint8_t>(Length >> 8);
}

// A list that holds nothing but its end marker.
inline std::vector<uint8_t> EmptyHobList() {
  std::vector<uint8_t> list;
  AppendHobHeader(list, HobTypeEndOfHobList, HobGenericHeaderSize);
  return list;
}

} // namespace emu

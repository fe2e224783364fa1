// The HOB list a board hands to the module, as an earlier boot module would have built it
// (PI specification HOB layout). The same description is laid out for the host build (64-bit
// descriptor slots) and for the image (32-bit slots).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

struct HobEntry {
  enum class Kind : uint8_t {
    PmicDescriptor, // GUID extension HOB carrying a PMIC descriptor
    Guid,           // GUID extension HOB with some other GUID and DataLength zero bytes
    Other,          // any other HOB type, DataLength zero bytes after the header
    EndOfList,      // an end-of-list HOB: entries after it lie past the list's end
    NoEndMarker,    // last only: the list stops here with no end-of-list HOB after it
  };
  Kind What = Kind::Other;
  uint16_t Type = 0x0002;         // Other only
  std::array<uint8_t, 16> Name{}; // Guid only, in memory order
  uint32_t VariantId = 5;         // PmicDescriptor only
  uint8_t I2cAddress = 0x34;      // PmicDescriptor only
  uint32_t DataLength = 0;        // Guid and Other
  // Written instead of the true length, for a malformed list (0 makes a walker that trusts it
  // stay on this HOB).
  std::optional<uint16_t> HobLengthOverride{};
};

// The descriptor HOB's GUID, 389DF924-829C-4EF5-B9CE-9CD0652887EA, in memory order.
extern const std::array<uint8_t, 16> PmicDescriptorHobName;

constexpr uint16_t HobTypeGuidExtension = 0x0004;
constexpr uint16_t HobHeaderBytes = 8; // type, length, reserved
constexpr uint16_t HobTypeEndOfList = 0xFFFF;

// The most bytes a HOB list may take in either layout, its end marker included.
constexpr size_t MaxHobListBytes = 0x80000; // 512 KiB
// The hand-off memory the list is placed at the start of, in both forms: room for the longest
// list and for the longest step a HobLength can make past it. What the list leaves free reads
// zero, as memory the PEI core has not used yet does here; a walk that runs off the list meets
// a header of type 0 and length 0 there.
constexpr size_t HandoffMemoryBytes = MaxHobListBytes + 0x10000;

// The bytes Entry takes in the list (its true length, whatever HobLength says), and the whole
// list's, end marker included: known without building the list.
size_t HobBytes(const HobEntry& Entry, unsigned PointerBytes);
size_t HobListBytes(const std::vector<HobEntry>& Entries, unsigned PointerBytes);
// False when the last entry is NoEndMarker.
bool Terminated(const std::vector<HobEntry>& Entries);

// The bytes of a PMIC descriptor with PointerBytes-wide slots: a descriptor HOB's data.
size_t DescriptorBytes(unsigned PointerBytes);

// The list's bytes, ending in the end-of-list HOB (unless the last entry is NoEndMarker).
// Descriptor slots are PointerBytes wide and null; every HOB's length is rounded up to a multiple
// of 8.
std::vector<uint8_t> BuildHobList(const std::vector<HobEntry>& Entries, unsigned PointerBytes);

} // namespace sim

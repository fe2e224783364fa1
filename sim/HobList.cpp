#include "sim/HobList.h"

#include <algorithm>

namespace sim {

const std::array<uint8_t, 16> PmicDescriptorHobName = {
    0x24, 0xF9, 0x9D, 0x38, 0x9C, 0x82, 0xF5, 0x4E, 0xB9, 0xCE, 0x9C, 0xD0, 0x65, 0x28, 0x87, 0xEA};

namespace {

constexpr size_t GenericHeaderBytes = 8;
constexpr size_t DescriptorSlots = 25;
constexpr uint8_t DescriptorHeaderTag = 4;

void Put16(std::vector<uint8_t>& Out, size_t At, uint16_t Value) {
  Out[At] = static_cast<uint8_t>(Value);
  Out[At + 1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(std::vector<uint8_t>& Out, size_t At, uint32_t Value) {
  for (int byte = 0; byte < 4; ++byte) {
    Out[At + byte] = static_cast<uint8_t>(Value >> (8 * byte));
  }
}

std::vector<uint8_t> Body(const HobEntry& Entry, unsigned PointerBytes) {
  std::vector<uint8_t> body;
  switch (Entry.What) {
  case HobEntry::Kind::PmicDescriptor: {
    body.assign(16 + DescriptorBytes(PointerBytes), 0);
    std::copy(PmicDescriptorHobName.begin(), PmicDescriptorHobName.end(), body.begin());
    body[16] = DescriptorHeaderTag;
    body[17] = Entry.I2cAddress; // no auxiliary device
    body[18] = Entry.I2cAddress;
    Put32(body, 20, Entry.VariantId);
    break;
  }
  case HobEntry::Kind::Guid:
    body.assign(16 + Entry.DataLength, 0);
    std::copy(Entry.Name.begin(), Entry.Name.end(), body.begin());
    break;
  case HobEntry::Kind::Other:
    body.assign(Entry.DataLength, 0);
    break;
  case HobEntry::Kind::EndOfList:
  case HobEntry::Kind::NoEndMarker:
    break;
  }
  return body;
}

uint16_t TypeOf(const HobEntry& Entry) {
  switch (Entry.What) {
  case HobEntry::Kind::Other:
    return Entry.Type;
  case HobEntry::Kind::EndOfList:
    return HobTypeEndOfList;
  default:
    return HobTypeGuidExtension;
  }
}

} // namespace

size_t DescriptorBytes(unsigned PointerBytes) {
  return 8 + DescriptorSlots * PointerBytes;
}

size_t HobBytes(const HobEntry& Entry, unsigned PointerBytes) {
  size_t body = Entry.DataLength;
  switch (Entry.What) {
  case HobEntry::Kind::PmicDescriptor:
    body = 16 + DescriptorBytes(PointerBytes);
    break;
  case HobEntry::Kind::Guid:
    body = 16 + size_t{Entry.DataLength};
    break;
  case HobEntry::Kind::Other:
    break;
  case HobEntry::Kind::EndOfList:
    body = 0;
    break;
  case HobEntry::Kind::NoEndMarker:
    return 0;
  }
  return (GenericHeaderBytes + body + 7) / 8 * 8;
}

bool Terminated(const std::vector<HobEntry>& Entries) {
  return Entries.empty() || Entries.back().What != HobEntry::Kind::NoEndMarker;
}

size_t HobListBytes(const std::vector<HobEntry>& Entries, unsigned PointerBytes) {
  size_t total = Terminated(Entries) ? GenericHeaderBytes : 0;
  for (const HobEntry& entry : Entries) {
    total += HobBytes(entry, PointerBytes);
  }
  return total;
}

std::vector<uint8_t> BuildHobList(const std::vector<HobEntry>& Entries, unsigned PointerBytes) {
  std::vector<uint8_t> list;
  for (const HobEntry& entry : Entries) {
    if (entry.What == HobEntry::Kind::NoEndMarker) {
      return list;
    }
    const std::vector<uint8_t> body = Body(entry, PointerBytes);
    const size_t length = HobBytes(entry, PointerBytes);
    const size_t at = list.size();
    list.resize(at + length, 0);
    Put16(list, at, TypeOf(entry));
    Put16(list, at + 2, entry.HobLengthOverride.value_or(static_cast<uint16_t>(length)));
    std::copy(body.begin(), body.end(), list.begin() + at + GenericHeaderBytes);
  }
  const size_t end = list.size();
  list.resize(end + GenericHeaderBytes, 0);
  Put16(list, end, HobTypeEndOfList);
  Put16(list, end + 2, GenericHeaderBytes);
  return list;
}

} // namespace sim

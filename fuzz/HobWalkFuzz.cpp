// The module's HOB walk (GetActivePmic's search for the descriptor HOB) on arbitrary hand-off
// bytes. The hand-off memory is exactly the input, so AddressSanitizer stops any read outside it.
//
// The module cannot know where the hand-off memory ends: PI gives it only the list's start, and
// the PEI core promises a list whose walk ends inside it. Inputs that break that promise (a HOB
// header, a GUID HOB's name, or the descriptor HOB the walk stops at, met past the end) are not
// the module's to survive and are skipped; on every other input the walk must end, stay inside, and
// return a descriptor only from a well-formed descriptor HOB: the GUID extension type, the
// descriptor's name, and a length that holds a whole descriptor inside the hand-off memory. Where
// the walk stops is the module's business; detection after it is not fuzzed here (the first
// register access ends the call).
#include "pmic/PeiServices.h"
#include "pmic/PmicDescriptor.h"
#include "tools/run/HostBus.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct DetectionStarted {};

// The PEI core's side: a services table whose GetHobList hands over the fuzzed list, and a word
// below the IDT pointing at the services pointer. Any register access means the search is over.
struct Handoff final : HostBus {
  EFI_PEI_SERVICES Table{};
  const EFI_PEI_SERVICES* Services = &Table;
  uintptr_t IdtArea[2] = {};
  static inline void* List = nullptr;

  Handoff() {
    Table.GetHobList = [](const EFI_PEI_SERVICES**, void** HobList) -> EFI_STATUS {
      *HobList = List;
      return 0;
    };
    IdtArea[0] = reinterpret_cast<uintptr_t>(&Services);
  }
  uint32_t MmioRead(uint32_t, unsigned) override { throw DetectionStarted{}; }
  void MmioWrite(uint32_t, unsigned, uint32_t) override { throw DetectionStarted{}; }
  uint32_t IoRead(uint16_t, unsigned) override { throw DetectionStarted{}; }
  void IoWrite(uint16_t, unsigned, uint32_t) override { throw DetectionStarted{}; }
  void Pause() override {}
  uintptr_t IdtBase() override { return reinterpret_cast<uintptr_t>(&IdtArea[1]); }
};

uint16_t Get16(const uint8_t* At) {
  uint16_t value;
  std::memcpy(&value, At, sizeof value);
  return value;
}

bool NamedLikeDescriptor(const uint8_t* Hob) {
  return std::memcmp(Hob + GuidHobNameOffset, &PmicDescriptorHobGuid, sizeof(EFI_GUID)) == 0;
}

// Whether the walk meets its end (an end-of-list HOB, a HOB too short to step past, or a GUID
// HOB named like the descriptor) before it meets a header or name outside the list.
bool WalkEndsInside(const uint8_t* List, size_t Size) {
  size_t at = 0;
  for (;;) {
    if (at > Size || Size - at < sizeof(EFI_HOB_GENERIC_HEADER)) {
      return false;
    }
    const uint16_t type = Get16(List + at);
    const uint16_t length = Get16(List + at + 2);
    if (type == EFI_HOB_TYPE_END_OF_HOB_LIST) {
      return true;
    }
    if (type == EFI_HOB_TYPE_GUID_EXTENSION) {
      if (Size - at < GuidHobDataOffset) {
        return false;
      }
      if (NamedLikeDescriptor(List + at)) {
        return at + length <= Size; // the HOB the walk stops at lies inside, by its own length
      }
    }
    if (length < sizeof(EFI_HOB_GENERIC_HEADER)) {
      return true;
    }
    at += length;
  }
}

bool WellFormedDescriptorHob(const uint8_t* List, size_t Size, const PmicDescriptor* Found) {
  const auto* data = reinterpret_cast<const uint8_t*>(Found);
  if (data < List + GuidHobDataOffset || data > List + Size) {
    return false;
  }
  const uint8_t* hob = data - GuidHobDataOffset;
  const size_t at = static_cast<size_t>(hob - List);
  const uint16_t length = Get16(hob + 2);
  return Get16(hob) == EFI_HOB_TYPE_GUID_EXTENSION && NamedLikeDescriptor(hob) &&
         length >= GuidHobDataOffset + sizeof(PmicDescriptor) && at + length <= Size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (!WalkEndsInside(Data, Size)) {
    return -1; // outside the PEI core's promise: not kept in the corpus
  }
  // A copy of exactly the input's size, as HOBs are kept: 8-byte aligned.
  std::unique_ptr<uint64_t[]> aligned(new uint64_t[(Size + 7) / 8]());
  uint8_t* list = reinterpret_cast<uint8_t*>(aligned.get());
  std::memcpy(list, Data, Size);
  static Handoff handoff;
  Handoff::List = list;
  HostBus* const previous = InstallHostBus(&handoff);
  const PmicDescriptor* found = nullptr;
  try {
    found = GetActivePmic();
  } catch (const DetectionStarted&) {
    found = nullptr;
  }
  InstallHostBus(previous);
  if (found != nullptr && !WellFormedDescriptorHob(list, Size, found)) {
    std::abort();
  }
  return 0;
}

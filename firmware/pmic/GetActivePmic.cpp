#include "platform/RegisterAccess.h"
#include "pmic/PeiServices.h"
#include "pmic/PmicDescriptor.h"

const PmicDescriptor* const PmicDetectionList[PmicDetectionCount] = {
    &PmicVariant5,
    &PmicVariant6,
    &PmicVariant1,
    &PmicVariantNone,
};

namespace {

// GUIDs are compared as four 32-bit words; the words alias the GUID's own fields.
typedef uint32_t __attribute__((may_alias)) GuidWord;

bool IsDescriptorHob(const uint8_t* Hob) {
  const GuidWord* name = reinterpret_cast<const GuidWord*>(Hob + GuidHobNameOffset);
  const GuidWord* wanted = reinterpret_cast<const GuidWord*>(&PmicDescriptorHobGuid);
  return name[0] == wanted[0] && name[1] == wanted[1] && name[2] == wanted[2] &&
         name[3] == wanted[3];
}

const void* FindHobList() {
  // The PEI core keeps its services pointer in the word just below the IDT. Without an IDT, or
  // with no services pointer there, there is nobody to ask and detection decides.
  const uintptr_t idtBase = ReadIdtBase();
  if (idtBase < sizeof(uintptr_t)) {
    return nullptr;
  }
  const EFI_PEI_SERVICES** services =
      *reinterpret_cast<const EFI_PEI_SERVICES** const*>(idtBase - sizeof(uintptr_t));
  if (services == nullptr || *services == nullptr || (*services)->GetHobList == nullptr) {
    return nullptr;
  }
  void* list = nullptr;
  // Its status is not looked at: whatever list it leaves is walked, and no list means detection.
  (*services)->GetHobList(services, &list);
  return list;
}

// The descriptor in the first descriptor HOB, used in place; its contents are not validated.
const PmicDescriptor* FindDescriptorHob() {
  const uint8_t* hob = static_cast<const uint8_t*>(FindHobList());
  if (hob == nullptr) {
    return nullptr;
  }
  for (;;) {
    const auto* header = reinterpret_cast<const EFI_HOB_GENERIC_HEADER*>(hob);
    if (header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST) {
      return nullptr;
    }
    if (header->HobType == EFI_HOB_TYPE_GUID_EXTENSION && IsDescriptorHob(hob)) {
      // A descriptor HOB too short to hold a descriptor would have its slots read from whatever
      // follows it, past the list's end perhaps: the list is broken there, and detection decides.
      if (header->HobLength < GuidHobDataOffset + sizeof(PmicDescriptor)) {
        return nullptr;
      }
      return reinterpret_cast<const PmicDescriptor*>(hob + GuidHobDataOffset);
    }
    // A HOB too short to step past its own header would have the walk spin on it forever, and
    // one whose length is not a multiple of 8 would put the next header out of line: a broken
    // list ends the search, and detection decides.
    if (header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        header->HobLength % HobAlignment != 0) {
      return nullptr;
    }
    hob += header->HobLength;
  }
}

} // namespace

const PmicDescriptor* GetActivePmic() {
  if (const PmicDescriptor* handedOver = FindDescriptorHob()) {
    return handedOver;
  }
  // Every listed descriptor fills Detect, and the fallback's answers TRUE: the loop never runs
  // out, and a null Detect is never met.
  for (const PmicDescriptor* candidate : PmicDetectionList) {          // GCOVR_EXCL_BR_LINE
    if (candidate->Detect != nullptr && candidate->Detect() == TRUE) { // GCOVR_EXCL_BR_LINE
      return candidate;
    }
  }
  // Unreachable while the fallback's Detect always answers; kept as the defined last resort.
  return &PmicVariant1;
}

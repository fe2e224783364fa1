/* The PMIC library's interface as a firmware module written in C sees it. Built as C11 for the
   host tests, and compiled for the 32-bit target by a test of its own, where the asserts below
   pin the descriptor HOB's layout slot by slot. */
#include "pmic/PmicDescriptor.h"

#include <stddef.h>

#if UINTPTR_MAX == 0xFFFFFFFFu
#define SLOT_AT(Field, Slot)                                                                       \
  _Static_assert(offsetof(PmicDescriptor, Field) == 8 + 4 * (Slot), #Field " is slot " #Slot)
SLOT_AT(ReadRegister, 0);
SLOT_AT(WriteRegister, 1);
SLOT_AT(ReadAuxRegister, 2);
SLOT_AT(WriteAuxRegister, 3);
SLOT_AT(Detect, 4);
SLOT_AT(GetIdentity, 5);
SLOT_AT(InitStep1, 6);
SLOT_AT(InitStep2, 7);
SLOT_AT(InitStep3, 8);
SLOT_AT(InitStep4, 9);
SLOT_AT(InitStep5, 10);
SLOT_AT(GetStatus1, 11);
SLOT_AT(GetStatus2, 12);
SLOT_AT(GetStatus3, 13);
SLOT_AT(GetFlag1, 14);
SLOT_AT(GetFlag2, 15);
SLOT_AT(GetFlag3, 16);
SLOT_AT(ClearStatus2, 17);
SLOT_AT(ClearStatus1, 18);
SLOT_AT(ReadVoltage, 19);
SLOT_AT(GetFlag4, 20);
SLOT_AT(GetSelector, 21);
SLOT_AT(SetSelector, 22);
SLOT_AT(GetLevel, 23);
SLOT_AT(InitStep6, 24);
_Static_assert(sizeof(PmicDescriptor) == 108, "the descriptor HOB's data is 108 bytes");
#endif

/* What a C compiler makes of the header, for the host test to hold against C++'s view. */
const size_t PmicDescriptorSizeInC = sizeof(PmicDescriptor);
const size_t PmicSlotOffsetsInC[PmicSlotCount] = {
    offsetof(PmicDescriptor, ReadRegister),    offsetof(PmicDescriptor, WriteRegister),
    offsetof(PmicDescriptor, ReadAuxRegister), offsetof(PmicDescriptor, WriteAuxRegister),
    offsetof(PmicDescriptor, Detect),          offsetof(PmicDescriptor, GetIdentity),
    offsetof(PmicDescriptor, InitStep1),       offsetof(PmicDescriptor, InitStep2),
    offsetof(PmicDescriptor, InitStep3),       offsetof(PmicDescriptor, InitStep4),
    offsetof(PmicDescriptor, InitStep5),       offsetof(PmicDescriptor, GetStatus1),
    offsetof(PmicDescriptor, GetStatus2),      offsetof(PmicDescriptor, GetStatus3),
    offsetof(PmicDescriptor, GetFlag1),        offsetof(PmicDescriptor, GetFlag2),
    offsetof(PmicDescriptor, GetFlag3),        offsetof(PmicDescriptor, ClearStatus2),
    offsetof(PmicDescriptor, ClearStatus1),    offsetof(PmicDescriptor, ReadVoltage),
    offsetof(PmicDescriptor, GetFlag4),        offsetof(PmicDescriptor, GetSelector),
    offsetof(PmicDescriptor, SetSelector),     offsetof(PmicDescriptor, GetLevel),
    offsetof(PmicDescriptor, InitStep6)};
const EFI_STATUS PmicStatusesInC[] = {EFI_SUCCESS,   EFI_INVALID_PARAMETER, EFI_UNSUPPORTED,
                                      EFI_NOT_READY, EFI_DEVICE_ERROR,      EFI_TIMEOUT};
const EFI_GUID* const PmicHobGuidInC = &PmicDescriptorHobGuid;

/* A caller in C: the active PMIC's identity, through its slot when it offers one. */
EFI_STATUS PmicIdentityFromC(uint8_t* Id, uint8_t* Revision) {
  const PmicDescriptor* pmic = GetActivePmic();
  if (pmic->GetIdentity == NULL) {
    return EFI_UNSUPPORTED;
  }
  return pmic->GetIdentity(Id, Revision);
}

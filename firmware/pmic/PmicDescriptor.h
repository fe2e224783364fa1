// The PMIC library's interface: one descriptor per PMIC variant, a header, a variant id and 25
// operation slots that the variant fills or leaves null. Other firmware modules reach the
// library through GetActivePmic and the slots of the descriptor it returns.
//
// Plain C11 as well as C++: the firmware modules that call the library, and the one that leaves
// a descriptor HOB for it, are usually written in C.
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t (*PmicReadFn)(uint8_t Register);
typedef EFI_STATUS (*PmicWriteFn)(uint8_t Register, uint8_t Value);
typedef BOOLEAN (*PmicFlagFn)(void);
typedef EFI_STATUS (*PmicIdentityFn)(uint8_t* Id, uint8_t* Revision);
typedef EFI_STATUS (*PmicStepFn)(void);
typedef EFI_STATUS (*PmicStatusFn)(uint32_t* Status);
typedef uint32_t (*PmicVoltageFn)(void);
typedef EFI_STATUS (*PmicGetSelectorFn)(uint8_t* Selector);
typedef EFI_STATUS (*PmicSetSelectorFn)(uint8_t Selector);
typedef uint8_t (*PmicLevelFn)(void);

// The same layout travels as the data of the descriptor HOB, so on the target (32-bit pointers)
// it is pinned to 108 bytes with slot n at offset 8 + 4n. On a 64-bit host the slots are host
// function pointers and the record is larger; nothing exchanges it there.
// A slot a variant does not fill is null; callers test a slot before calling it.
typedef struct PmicDescriptor {
  uint8_t HeaderTag;     // 4 in every descriptor; not interpreted
  uint8_t AuxI2cAddress; // equals I2cAddress when the variant has no auxiliary device
  uint8_t I2cAddress;
  uint8_t Reserved;
  uint32_t VariantId;
  PmicReadFn ReadRegister;       // 0
  PmicWriteFn WriteRegister;     // 1
  PmicReadFn ReadAuxRegister;    // 2
  PmicWriteFn WriteAuxRegister;  // 3
  PmicFlagFn Detect;             // 4
  PmicIdentityFn GetIdentity;    // 5
  PmicStepFn InitStep1;          // 6
  PmicStepFn InitStep2;          // 7
  PmicStepFn InitStep3;          // 8
  PmicStepFn InitStep4;          // 9
  PmicStepFn InitStep5;          // 10
  PmicStatusFn GetStatus1;       // 11
  PmicStatusFn GetStatus2;       // 12
  PmicStatusFn GetStatus3;       // 13
  PmicFlagFn GetFlag1;           // 14
  PmicFlagFn GetFlag2;           // 15
  PmicFlagFn GetFlag3;           // 16
  PmicStepFn ClearStatus2;       // 17
  PmicStepFn ClearStatus1;       // 18
  PmicVoltageFn ReadVoltage;     // 19
  PmicFlagFn GetFlag4;           // 20
  PmicGetSelectorFn GetSelector; // 21
  PmicSetSelectorFn SetSelector; // 22
  PmicLevelFn GetLevel;          // 23
  PmicStepFn InitStep6;          // 24
} PmicDescriptor;

enum {
  PmicSlotCount = 25,
  PmicHeaderTag = 4,
  PmicDescriptorSlotsOffset = 8,
};

#if UINTPTR_MAX == 0xFFFFFFFFu
EFI_STATIC_ASSERT(sizeof(PmicDescriptor) == 108, "the descriptor HOB carries a 108-byte record");
EFI_STATIC_ASSERT(__builtin_offsetof(PmicDescriptor, VariantId) == 4, "VariantId at 4");
EFI_STATIC_ASSERT(__builtin_offsetof(PmicDescriptor, ReadRegister) == 8, "slot 0 at 8");
EFI_STATIC_ASSERT(__builtin_offsetof(PmicDescriptor, Detect) == 8 + 4 * 4, "slot 4 at 24");
EFI_STATIC_ASSERT(__builtin_offsetof(PmicDescriptor, InitStep6) == 8 + 4 * 24, "slot 24 at 104");
#endif
EFI_STATIC_ASSERT(sizeof(PmicDescriptor) ==
                      PmicDescriptorSlotsOffset + PmicSlotCount * sizeof(void*),
                  "a header, then one pointer per slot");

// VariantId values.
enum {
  PmicVariantId1 = 1,
  PmicVariantId5 = 5,
  PmicVariantId6 = 6,
  PmicVariantIdNone = 0xFE,
};

extern const PmicDescriptor PmicVariant1;
extern const PmicDescriptor PmicVariant5;
extern const PmicDescriptor PmicVariant6;
extern const PmicDescriptor PmicVariantNone;

// Asked in this order; the first Detect that answers 1 wins.
enum { PmicDetectionCount = 4 };
extern const PmicDescriptor* const PmicDetectionList[PmicDetectionCount];

// 389DF924-829C-4EF5-B9CE-9CD0652887EA: the GUID extension HOB whose data is a descriptor chosen
// by an earlier boot module.
static const EFI_GUID PmicDescriptorHobGuid = {
    0x389DF924, 0x829C, 0x4EF5, {0xB9, 0xCE, 0x9C, 0xD0, 0x65, 0x28, 0x87, 0xEA}};

// The descriptor of the fitted PMIC; never null. A descriptor HOB wins and is used in place;
// otherwise every call runs detection again (nothing is cached).
const PmicDescriptor* GetActivePmic(void);

#ifdef __cplusplus
}
#endif

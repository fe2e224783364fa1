// The PMIC library's interface: one descriptor per PMIC variant, a header, a variant id and 25
// operation slots that the variant fills or leaves null. Other firmware modules reach the
// library through GetActivePmic and the slots of the descriptor it returns.
#pragma once

#include "platform/Efi.h"
#include "pmic/PeiServices.h"

#include <stdint.h>

using PmicReadFn = uint8_t (*)(uint8_t Register);
using PmicWriteFn = EFI_STATUS (*)(uint8_t Register, uint8_t Value);
using PmicFlagFn = BOOLEAN (*)();
using PmicIdentityFn = EFI_STATUS (*)(uint8_t* Id, uint8_t* Revision);
using PmicStepFn = EFI_STATUS (*)();
using PmicStatusFn = EFI_STATUS (*)(uint32_t* Status);
using PmicVoltageFn = uint32_t (*)();
using PmicGetSelectorFn = EFI_STATUS (*)(uint8_t* Selector);
using PmicSetSelectorFn = EFI_STATUS (*)(uint8_t Selector);
using PmicLevelFn = uint8_t (*)();

// The same layout travels as the data of the descriptor HOB, so on the target (32-bit pointers)
// it is pinned to 108 bytes with slot n at offset 8 + 4n. On a 64-bit host the slots are host
// function pointers and the record is larger; nothing exchanges it there.
// A slot a variant does not fill stays null.
struct PmicDescriptor {
  uint8_t HeaderTag;     // 4 in every descriptor; not interpreted
  uint8_t AuxI2cAddress; // equals I2cAddress when the variant has no auxiliary device
  uint8_t I2cAddress;
  uint8_t Reserved;
  uint32_t VariantId;
  PmicReadFn ReadRegister = nullptr;       // 0
  PmicWriteFn WriteRegister = nullptr;     // 1
  PmicReadFn ReadAuxRegister = nullptr;    // 2
  PmicWriteFn WriteAuxRegister = nullptr;  // 3
  PmicFlagFn Detect = nullptr;             // 4
  PmicIdentityFn GetIdentity = nullptr;    // 5
  PmicStepFn InitStep1 = nullptr;          // 6
  PmicStepFn InitStep2 = nullptr;          // 7
  PmicStepFn InitStep3 = nullptr;          // 8
  PmicStepFn InitStep4 = nullptr;          // 9
  PmicStepFn InitStep5 = nullptr;          // 10
  PmicStatusFn GetStatus1 = nullptr;       // 11
  PmicStatusFn GetStatus2 = nullptr;       // 12
  PmicStatusFn GetStatus3 = nullptr;       // 13
  PmicFlagFn GetFlag1 = nullptr;           // 14
  PmicFlagFn GetFlag2 = nullptr;           // 15
  PmicFlagFn GetFlag3 = nullptr;           // 16
  PmicStepFn ClearStatus2 = nullptr;       // 17
  PmicStepFn ClearStatus1 = nullptr;       // 18
  PmicVoltageFn ReadVoltage = nullptr;     // 19
  PmicFlagFn GetFlag4 = nullptr;           // 20
  PmicGetSelectorFn GetSelector = nullptr; // 21
  PmicSetSelectorFn SetSelector = nullptr; // 22
  PmicLevelFn GetLevel = nullptr;          // 23
  PmicStepFn InitStep6 = nullptr;          // 24
};

constexpr uint32_t PmicSlotCount = 25;
constexpr uint8_t PmicHeaderTag = 4;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PmicDescriptor) == 108, "the descriptor HOB carries a 108-byte record");
static_assert(__builtin_offsetof(PmicDescriptor, VariantId) == 4);
static_assert(__builtin_offsetof(PmicDescriptor, ReadRegister) == 8);
static_assert(__builtin_offsetof(PmicDescriptor, Detect) == 8 + 4 * 4);
static_assert(__builtin_offsetof(PmicDescriptor, InitStep6) == 8 + 4 * 24);
#endif
static_assert(sizeof(PmicDescriptor) == 8 + PmicSlotCount * sizeof(void*));

constexpr uint32_t PmicVariantId1 = 1;
constexpr uint32_t PmicVariantId5 = 5;
constexpr uint32_t PmicVariantId6 = 6;
constexpr uint32_t PmicVariantIdNone = 0xFE;

extern const PmicDescriptor PmicVariant1;
extern const PmicDescriptor PmicVariant5;
extern const PmicDescriptor PmicVariant6;
extern const PmicDescriptor PmicVariantNone;

// Asked in this order; the first Detect that answers 1 wins.
constexpr uint32_t PmicDetectionCount = 4;
extern const PmicDescriptor* const PmicDetectionList[PmicDetectionCount];

// 389DF924-829C-4EF5-B9CE-9CD0652887EA: the GUID extension HOB whose data is a descriptor chosen
// by an earlier boot module.
inline constexpr EFI_GUID PmicDescriptorHobGuid = {
    0x389DF924, 0x829C, 0x4EF5, {0xB9, 0xCE, 0x9C, 0xD0, 0x65, 0x28, 0x87, 0xEA}};

// The descriptor of the fitted PMIC; never null. A descriptor HOB wins and is used in place;
// otherwise every call runs detection again (nothing is cached).
const PmicDescriptor* GetActivePmic();

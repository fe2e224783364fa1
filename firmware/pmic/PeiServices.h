// The few PI definitions the module needs to find the HOB list: the PEI services table up to
// GetHobList, and the generic and GUID extension HOB headers (PI specification, volume 3).
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

struct EFI_TABLE_HEADER {
  uint64_t Signature;
  uint32_t Revision;
  uint32_t HeaderSize;
  uint32_t CRC32;
  uint32_t Reserved;
};

struct EFI_PEI_SERVICES;

// The module uses no service but GetHobList; the others are kept as opaque slots so that
// GetHobList sits where the PI specification puts it.
struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER Hdr;
  void* InstallPpi;
  void* ReInstallPpi;
  void* LocatePpi;
  void* NotifyPpi;
  void* GetBootMode;
  void* SetBootMode;
  EFI_STATUS (*GetHobList)(const EFI_PEI_SERVICES** PeiServices, void** HobList);
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, GetHobList) == 0x30,
              "GetHobList is at offset 0x30 of the 32-bit services table");
#endif

struct EFI_HOB_GENERIC_HEADER {
  uint16_t HobType;
  uint16_t HobLength; // bytes of the whole HOB
  uint32_t Reserved;
};
static_assert(sizeof(EFI_HOB_GENERIC_HEADER) == 8);
// Every HOB starts 8-byte aligned: HobLength is a multiple of 8.
constexpr uint16_t HobAlignment = 8;

constexpr uint16_t EFI_HOB_TYPE_GUID_EXTENSION = 0x0004;
constexpr uint16_t EFI_HOB_TYPE_END_OF_HOB_LIST = 0xFFFF;

// A GUID extension HOB: the generic header, the GUID, then the data.
constexpr uint32_t GuidHobNameOffset = 8;
constexpr uint32_t GuidHobDataOffset = 24;

// The small vocabulary of UEFI/PI types the module speaks.
#pragma once

#include <stdint.h>

typedef uint32_t EFI_STATUS;
typedef uint8_t BOOLEAN;

constexpr EFI_STATUS EFI_SUCCESS = 0;
constexpr EFI_STATUS EFI_INVALID_PARAMETER = 0x80000002u;
constexpr EFI_STATUS EFI_UNSUPPORTED = 0x80000003u;
constexpr EFI_STATUS EFI_NOT_READY = 0x80000006u;
constexpr EFI_STATUS EFI_DEVICE_ERROR = 0x80000007u;
constexpr EFI_STATUS EFI_TIMEOUT = 0x80000012u;

constexpr BOOLEAN TRUE = 1;
constexpr BOOLEAN FALSE = 0;

// A status is a failure when its top bit is set.
constexpr bool EFI_ERROR(EFI_STATUS Status) {
  return (Status & 0x80000000u) != 0;
}

// The small vocabulary of UEFI/PI types the module speaks. Plain C as well as C++: the PMIC
// library's interface is used by firmware modules written in C.
#pragma once

#include <stdint.h>

typedef uint32_t EFI_STATUS;
typedef uint8_t BOOLEAN;

// Macros, as the UEFI headers spell them, so that C code can use them in constant expressions.
#define EFI_SUCCESS ((EFI_STATUS)0)
#define EFI_INVALID_PARAMETER ((EFI_STATUS)0x80000002u)
#define EFI_UNSUPPORTED ((EFI_STATUS)0x80000003u)
#define EFI_NOT_READY ((EFI_STATUS)0x80000006u)
#define EFI_DEVICE_ERROR ((EFI_STATUS)0x80000007u)
#define EFI_TIMEOUT ((EFI_STATUS)0x80000012u)

#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)

// A status is a failure when its top bit is set.
#define EFI_ERROR(Status) ((((EFI_STATUS)(Status)) & 0x80000000u) != 0)

typedef struct {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} EFI_GUID;

#ifdef __cplusplus
#define EFI_STATIC_ASSERT(Condition, Message) static_assert(Condition, Message)
#else
#define EFI_STATIC_ASSERT(Condition, Message) _Static_assert(Condition, Message)
#endif

EFI_STATIC_ASSERT(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

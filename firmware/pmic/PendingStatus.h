// Variants 5 and 6 report the pending conditions of one register in the same two groups:
// GetStatus1 from bits 0-2, GetStatus2 from bits 5-7, each register bit to its own status bit.
#pragma once

#include "platform/Efi.h"
#include "pmic/PmicDescriptor.h"

#include <stdint.h>

struct PendingStatusBit {
  uint8_t Register;
  uint32_t Status;
};

inline constexpr PendingStatusBit PendingStatus1Bits[] = {{0x01, 0x01}, {0x04, 0x02}, {0x02, 0x04}};
inline constexpr PendingStatusBit PendingStatus2Bits[] = {{0x80, 0x04}, {0x20, 0x08}, {0x40, 0x10}};

template <uint32_t N>
constexpr uint32_t MapPendingBits(uint8_t Value, const PendingStatusBit (&Map)[N]) {
  uint32_t status = 0;
  for (const PendingStatusBit& bit : Map) {
    if ((Value & bit.Register) != 0) {
      status |= bit.Status;
    }
  }
  return status;
}

// GetStatus1 or GetStatus2 of such a variant: the pointer is tested before the register is read
// through the variant's own ReadRegister.
template <uint32_t N>
EFI_STATUS GetPendingStatus(PmicReadFn Read, uint8_t Register, const PendingStatusBit (&Map)[N],
                            uint32_t* Status) {
  if (Status == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  *Status = MapPendingBits(Read(Register), Map);
  return EFI_SUCCESS;
}

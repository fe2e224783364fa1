// The hardware semaphore that shares the PMIC bus between this module and the P-Unit. Callers
// bracket their transfers with AcquirePmicBus and ReleasePmicBus and call the release whatever
// the acquire returned. There is no nesting: the first release ends a hold.
#pragma once

#include "platform/Efi.h"

#include <stdint.h>

// What a hold knows of the semaphore register, kept by the caller from the acquire to the
// release (the module keeps no state of its own): the last reading the acquire got an answer to,
// that of its request once it made one. Until then, the register as it rests under arbitration:
// arbitration in force, nobody asking, nobody holding.
struct PmicBusHold {
  uint32_t Known;
};
constexpr uint32_t PmicBusSemaphoreResting = 1u << 8;

// EFI_SUCCESS once the host holds the bus (or arbitration is off); EFI_TIMEOUT after about
// 300 ms without a grant, after the ordinary release (the request bit stays set).
EFI_STATUS AcquirePmicBus(PmicBusHold& Hold);
// Always a read-modify-write that clears the grant and keeps the request bit as read. A read that
// gets no answer (all ones) is not written back with every other bit set: the grant is cleared in
// what the hold knows instead, with the request bit as that read gave it (set), so that the bus is
// handed back all the same.
void ReleasePmicBus(const PmicBusHold& Hold);

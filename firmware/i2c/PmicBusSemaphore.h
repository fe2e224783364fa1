// The hardware semaphore that shares the PMIC bus between this module and the P-Unit. Callers
// bracket their transfers with AcquirePmicBus and ReleasePmicBus and call the release whatever
// the acquire returned. There is no nesting: the first release ends a hold.
#pragma once

#include "platform/Efi.h"

// EFI_SUCCESS once the host holds the bus (or arbitration is off); EFI_TIMEOUT after about
// 300 ms without a grant, after the ordinary release (the request bit stays set).
EFI_STATUS AcquirePmicBus();
void ReleasePmicBus();

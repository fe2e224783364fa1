// The image's entry point, called once by the PEI core.
#pragma once

#include "platform/Efi.h"

// The standard PEIM entry arguments are accepted and not used.
extern "C" EFI_STATUS ModuleEntry(const void* FileHandle, const void* const* PeiServices);

// The board step that follows the GPIO pass.
void PostGpioSetup();

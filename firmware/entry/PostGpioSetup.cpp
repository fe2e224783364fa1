#include "entry/ModuleEntry.h"

// The board step after the GPIO pass depends on the fitted PMIC; it arrives with the PMIC
// library. Until then the entry's sequence ends with the GPIO pass.
void PostGpioSetup() {}

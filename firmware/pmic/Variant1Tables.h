// The board data of the variant-1 PMIC: its register update tables, the PMIC's own GPIO pins,
// and the fixed byte sequences written to its auxiliary device. All constant data of the image.
#pragma once

#include "pmic/PmicRegisterAccess.h"

#include <stdint.h>

// One GPIO pin of the PMIC. Only the two control registers and their values are programmed;
// the name, attribute and flag describe the pin for whoever reads the table.
struct PmicGpioPin {
  const char* Name;
  uint8_t ControlRegister1; // bits 0-6 take ControlValue1, bit 7 is kept
  uint8_t ControlRegister2; // bits 0-4 take ControlValue2, bits 5-7 are kept
  uint32_t Attribute;
  uint8_t Flag;
  uint8_t ControlValue1;
  uint8_t ControlValue2;
};

constexpr uint32_t Variant1GpioPinCount = 4;
extern const PmicGpioPin Variant1GpioPins[Variant1GpioPinCount];

// InitStep1, for identification codes 0x00 and 0x2B, and for 0x1F.
extern const PmicRegisterUpdate Variant1Step1Table[13];
extern const PmicRegisterUpdate Variant1Step1Table1F[34];
extern const PmicRegisterUpdate Variant1Step3Table[16];
extern const PmicRegisterUpdate Variant1Step4Table[8];
extern const PmicRegisterUpdate Variant1Step5Table[11];

// Board constants of the auxiliary device, written one byte per write in this order: the
// sequence InitStep6 writes to auxiliary register 0xFC before its verified write, and the one
// that devices of revision 0xB1 and later take in auxiliary register 0xF9. They are values of
// this board's auxiliary device, not derived from anything the module reads; a board with
// another auxiliary device changes them here and nowhere else.
extern const uint8_t Variant1AuxSequenceFC[3];
extern const uint8_t Variant1AuxSequenceF9[2];

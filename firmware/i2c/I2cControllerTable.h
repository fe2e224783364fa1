// The SoC's six I2C host controllers, as the module knows them: where each one's PCI function
// is and which addresses its two BARs get. Only the PMIC bus controller is ever used.
#pragma once

#include <stdint.h>

#pragma pack(push, 1)
struct I2cControllerEntry {
  uint32_t Reserved; // 0 in every record, never read
  uint32_t Bus;
  uint32_t Device;
  uint32_t Function;
  uint32_t Bar0; // register window; also the base of every controller register access
  uint32_t Bar1;
};
#pragma pack(pop)

static_assert(sizeof(I2cControllerEntry) == 24, "controller records are packed 24-byte records");
static_assert(__builtin_offsetof(I2cControllerEntry, Bus) == 4);
static_assert(__builtin_offsetof(I2cControllerEntry, Device) == 8);
static_assert(__builtin_offsetof(I2cControllerEntry, Function) == 12);
static_assert(__builtin_offsetof(I2cControllerEntry, Bar0) == 16);
static_assert(__builtin_offsetof(I2cControllerEntry, Bar1) == 20);

constexpr uint32_t I2cControllerCount = 6;

// Only the PMIC bus controller's row is read, and of it never Reserved: mutants of the rest make
// no difference anywhere and are marked equivalent.
// clang-format off
inline constexpr I2cControllerEntry I2cControllerTable[I2cControllerCount] = {
  //  Bus  Device  Function  Bar0         Bar1
  {0, 0,   0x18,   0,        0xFE900000u, 0xFE908000u}, // mutant-equivalent: row unused
  {0, 0,   0x18,   1,        0xFE910000u, 0xFE918000u}, // mutant-equivalent: row unused
  {0, 0,   0x18,   2,        0xFE920000u, 0xFE928000u}, // mutant-equivalent: row unused
  {0, 0,   0x18,   3,        0xFE930000u, 0xFE938000u}, // mutant-equivalent: row unused
  {0, 0,   0x18,   4,        0xFE940000u, 0xFE948000u}, // mutant-equivalent: row unused
  {0, 0,   0x18,   5,        0xFE950000u, 0xFE958000u}, // mutant-equivalent(constant#1): Reserved
};
// clang-format on

// The controller that drives the PMIC bus.
constexpr uint32_t PmicBusControllerRow = 5;
inline constexpr const I2cControllerEntry& PmicBusController =
    I2cControllerTable[PmicBusControllerRow];

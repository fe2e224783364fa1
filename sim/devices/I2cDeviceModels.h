// The device models a board can fit on the PMIC bus, by the name a description uses: the plain
// register file, and one layout per PMIC.
#pragma once

#include "sim/devices/PmicRegisterDevice.h"
#include "sim/devices/Variant1Pmic.h"
#include "sim/devices/Variant5Pmic.h"
#include "sim/devices/Variant6Pmic.h"

#include <string_view>

namespace sim {

struct I2cDeviceModel {
  std::string_view Name;
  const PmicLayout* Pmic; // null for the register file
};

inline constexpr I2cDeviceModel I2cDeviceModels[] = {
    {"register-file", nullptr},
    {Variant1Layout.Name, &Variant1Layout},
    {Variant5Layout.Name, &Variant5Layout},
    {Variant6Layout.Name, &Variant6Layout},
};

// Null for a name no model has.
inline const I2cDeviceModel* FindI2cDeviceModel(std::string_view Name) {
  for (const I2cDeviceModel& model : I2cDeviceModels) {
    if (model.Name == Name) {
      return &model;
    }
  }
  return nullptr;
}

} // namespace sim

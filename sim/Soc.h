// The simulated system-on-chip: a Board with every device of the SoC wired in, built from a
// board description. Typed references let tests and tools look at device state directly.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/HostBridge.h"
#include "sim/devices/I2cController.h"
#include "sim/devices/I2cDeviceModels.h"
#include "sim/devices/I2cPciFunction.h"
#include "sim/devices/I2cTarget.h"
#include "sim/devices/LegacyBridge.h"
#include "sim/devices/LegacyGpioPorts.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PmTimer.h"
#include "sim/devices/PowerManagementController.h"
#include "sim/devices/Punit.h"

#include <memory>
#include <vector>

namespace sim {

struct SocState;

class Soc : private DeviceStates {
public:
  explicit Soc(const BoardConfig& Config);
  Soc(const Soc&) = delete;
  Soc& operator=(const Soc&) = delete;

  const BoardConfig& Config() const { return config_; }

  // The run is over: the bus finishes what it had time for, so that what the module left queued
  // moves, and a fault it meets strikes, as they would have where the module no longer looked.
  void RunOver() { I2c.CatchUpToNow(); }

  // The device of type T the board fitted at a 7-bit address; null if there is none, or if the
  // device there is of another kind.
  template <typename T> T* FittedDevice(uint16_t Address) {
    for (size_t i = 0; i < I2cDevices.size(); ++i) {
      if (config_.I2cDevices[i].Address == Address && !config_.I2cDevices[i].TenBit) {
        return dynamic_cast<T*>(I2cDevices[i].get());
      }
    }
    return nullptr;
  }
  I2cRegisterFileDevice* RegisterFileDevice(uint16_t Address) {
    return FittedDevice<I2cRegisterFileDevice>(Address);
  }
  PmicRegisterDevice* PmicDevice(uint16_t Address) {
    return FittedDevice<PmicRegisterDevice>(Address);
  }

  Board Bus;
  PciConfigWindow& Pci;
  LegacyBridge Bridge;
  PmTimer& Timer;
  GpioPads& Gpio;
  LegacyGpioPorts& LegacyGpio;
  PowerManagementController& Pmc;
  I2cController& I2c;
  I2cPciFunction I2cFunction;
  HostBridge Host;
  Punit PUnit;
  std::vector<std::unique_ptr<I2cTarget>> I2cDevices; // in the board description's order

private:
  // The board saves and restores the devices' state through these, with its own.
  std::shared_ptr<const SocState> SaveDevices() const override;
  void RestoreDevices(const SocState& State) override;

  BoardConfig config_;
};

} // namespace sim

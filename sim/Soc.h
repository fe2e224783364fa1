// The simulated system-on-chip: a Board with every device of the SoC wired in, built from a
// board description. Typed references let tests and tools look at device state directly.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/LegacyBridge.h"
#include "sim/devices/LegacyGpioPorts.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PmTimer.h"

namespace sim {

class Soc {
public:
  explicit Soc(const BoardConfig& Config);
  Soc(const Soc&) = delete;
  Soc& operator=(const Soc&) = delete;

  const BoardConfig& Config() const { return config_; }

  Board Bus;
  PciConfigWindow& Pci;
  LegacyBridge Bridge;
  PmTimer& Timer;
  GpioPads& Gpio;
  LegacyGpioPorts& LegacyGpio;

private:
  BoardConfig config_;
};

} // namespace sim

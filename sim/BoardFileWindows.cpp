// The memory windows a board file places (the PMC window at pmc_base, the I2C controller's BAR0
// as earlier firmware left it) must not overlap each other or the SoC's fixed windows, where the
// later one would silently hide the other, and must lie where the image runner routes accesses to
// the board: below DeviceMemoryBase it keeps its own RAM, so the image would never reach them
// while the host build would.
#include "sim/BoardFileReader.h"
#include "sim/decode/BusDecoder.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/I2cPciFunction.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PowerManagementController.h"

#include <cstdio>

namespace sim {

namespace {

struct Window {
  const char* Name;
  uint64_t Base;
  uint64_t Size;
  const BoardJson* Placed; // the value that placed it; null for the SoC's fixed windows
};

std::string Range(const Window& W) {
  char text[64];
  std::snprintf(text, sizeof text, "0x%08llX-0x%08llX", static_cast<unsigned long long>(W.Base),
                static_cast<unsigned long long>(W.Base + W.Size - 1));
  return std::string(W.Name) + " " + text;
}

} // namespace

void CheckWindows(const BoardFileReader& R, const BoardJson& Root, const BoardConfig& Config) {
  std::vector<Window> windows = {
      {"the PCI configuration window", PciWindowBase, PciWindowSize, nullptr},
      {"the GPIO pad block", GpioBlockBase, GpioBlockSize, nullptr},
      {"the PMC window", Config.PmcBase & PmcBaseMask, PmcWindowSize, FindMember(Root, "pmc_base")},
  };
  const uint32_t bar0 = Config.I2c.Bar0 & I2cPciFunction::BarAddressMask;
  if (bar0 == 0) {
    // The module programs the BAR0 that earlier firmware left unset to a fixed address.
    windows.insert(windows.begin() + 2,
                   {"the I2C controller's window at its fixed BAR0",
                    decode::BusAddresses{}.I2cRegisters, I2cPciFunction::WindowSize, nullptr});
  } else {
    const BoardJson* controller = FindMember(Root, "i2c_controller");
    windows.push_back({"the I2C controller's BAR0 window", bar0, I2cPciFunction::WindowSize,
                       controller != nullptr ? FindMember(*controller, "bar0") : nullptr});
  }
  for (size_t i = 0; i < windows.size(); ++i) {
    const Window& placed = windows[i];
    if (placed.Placed == nullptr) {
      continue;
    }
    if (placed.Base < DeviceMemoryBase) {
      R.Fail(*placed.Placed, "puts " + Range(placed) +
                                 " below 0x80000000, where the image runner has its own RAM "
                                 "(device windows must lie at 0x80000000 or above)");
    }
    for (size_t j = 0; j < i; ++j) {
      const Window& other = windows[j];
      if (placed.Base < other.Base + other.Size && other.Base < placed.Base + placed.Size) {
        R.Fail(*placed.Placed, "puts " + Range(placed) + " over " + Range(other));
      }
    }
  }
}

} // namespace sim

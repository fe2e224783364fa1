#include "sim/Soc.h"

namespace sim {

Soc::Soc(const BoardConfig& Config)
    : Bus(Config.Costs), Pci(Bus.Add(std::make_unique<PciConfigWindow>())),
      Bridge(Config.AcpiBase, Config.PmcBase),
      Timer(Bus.Add(std::make_unique<PmTimer>(Bus.GetClock(), Bridge, Config.PmTimer32Bit,
                                              Config.PmTimerStart))),
      Gpio(Bus.Add(std::make_unique<GpioPads>())),
      LegacyGpio(Bus.Add(std::make_unique<LegacyGpioPorts>())), config_(Config) {
  Bus.Map(Space::Memory, PciWindowBase, PciWindowSize, Pci);
  Pci.AddFunction(0, 0x1F, 0, Bridge);
  Bus.Map(Space::Port, PmTimerPort, 4, Timer);
  Bus.Map(Space::Memory, GpioBlockBase, GpioBlockSize, Gpio);
  Bus.Map(Space::Port, LegacyGpioPortBase, LegacyGpioPortCount, LegacyGpio);

  for (const PadLevel& level : Config.PadLevels) {
    Gpio.DriveLevel(level.Community, level.Pad, level.High);
  }
  for (const PadFault& fault : Config.PadFaults) {
    Gpio.FailReads(fault.Address - GpioBlockBase, fault.Reads);
  }
  Bus.SetAccessBudget(Config.AccessBudget);
}

} // namespace sim

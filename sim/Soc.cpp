#include "sim/Soc.h"

#include <stdexcept>

namespace sim {

namespace {
std::unique_ptr<I2cTarget> MakeI2cDevice(const I2cDeviceConfig& Config) {
  if (Config.Model == "register-file") {
    auto device = std::make_unique<I2cRegisterFileDevice>();
    for (const I2cRegisterValue& reg : Config.Registers) {
      device->Poke(reg.Register, reg.Value);
    }
    device->SetNeverAcknowledges(Config.NeverAcknowledges);
    return device;
  }
  if (Config.Model == "pmic-variant5") {
    auto device = std::make_unique<Variant5Pmic>();
    device->Fit(Config);
    return device;
  }
  throw std::invalid_argument("unknown I2C device model \"" + Config.Model + "\"");
}
} // namespace

Soc::Soc(const BoardConfig& Config)
    : Bus(Config.Costs), Pci(Bus.Add(std::make_unique<PciConfigWindow>())),
      Bridge(Config.AcpiBase, Config.PmcBase),
      Timer(Bus.Add(std::make_unique<PmTimer>(Bus.GetClock(), Bridge, Config.PmTimer32Bit,
                                              Config.PmTimerStart))),
      Gpio(Bus.Add(std::make_unique<GpioPads>())),
      LegacyGpio(Bus.Add(std::make_unique<LegacyGpioPorts>())),
      Pmc(Bus.Add(std::make_unique<PowerManagementController>(Config.PmcFunctionDisable))),
      I2c(Bus.Add(std::make_unique<I2cController>(Bus.GetClock(), Config.I2c))),
      I2cFunction(Bus, I2c, Pmc, Config.I2c.Present, Config.I2c.Bar0, Config.I2c.Bar1,
                  Config.I2c.Command),
      PUnit(Bus.GetClock(), Config.Punit), config_(Config) {
  Bus.Map(Space::Memory, PciWindowBase, PciWindowSize, Pci);
  Pci.AddFunction(0, 0, 0, Host);
  Pci.AddFunction(0, 0x18, 5, I2cFunction);
  Pci.AddFunction(0, 0x1F, 0, Bridge);
  Bus.Map(Space::Port, PmTimerPort, 4, Timer);
  Bus.Map(Space::Memory, GpioBlockBase, GpioBlockSize, Gpio);
  Bus.Map(Space::Port, LegacyGpioPortBase, LegacyGpioPortCount, LegacyGpio);
  Bus.Map(Space::Memory, Bridge.PmcBase() & PmcBaseMask, PmcWindowSize, Pmc);
  Pmc.OnFunctionDisableChange([this] { I2cFunction.UpdateDecode(); });
  Host.Attach(PunitPort, PUnit);

  for (const I2cDeviceConfig& device : Config.I2cDevices) {
    I2cDevices.push_back(MakeI2cDevice(device));
    I2c.Attach(device.Address, device.TenBit, *I2cDevices.back());
  }
  for (const PadLevel& level : Config.PadLevels) {
    Gpio.DriveLevel(level.Community, level.Pad, level.High);
  }
  for (const PadFault& fault : Config.PadFaults) {
    Gpio.FailReads(fault.Address - GpioBlockBase, fault.Reads);
  }
  Bus.SetAccessBudget(Config.AccessBudget);
}

I2cRegisterFileDevice* Soc::RegisterFileDevice(uint16_t Address) {
  for (size_t i = 0; i < I2cDevices.size(); ++i) {
    if (config_.I2cDevices[i].Address == Address && !config_.I2cDevices[i].TenBit) {
      return dynamic_cast<I2cRegisterFileDevice*>(I2cDevices[i].get());
    }
  }
  return nullptr;
}

} // namespace sim

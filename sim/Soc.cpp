#include "sim/Soc.h"

#include "sim/SocState.h"

#include <stdexcept>

namespace sim {

namespace {
std::unique_ptr<I2cTarget> MakeI2cDevice(const I2cDeviceConfig& Config, const Clock& C,
                                         StrikeLog& Strikes) {
  const I2cDeviceModel* model = FindI2cDeviceModel(Config.Model);
  if (model == nullptr) {
    throw std::invalid_argument("unknown I2C device model \"" + Config.Model + "\"");
  }
  if (model->Pmic == nullptr) {
    auto device = std::make_unique<I2cRegisterFileDevice>();
    for (const I2cRegisterValue& reg : Config.Registers) {
      device->Poke(reg.Register, reg.Value);
    }
    device->SetNeverAcknowledges(Config.NeverAcknowledges);
    device->SetStopsAcknowledgingFrom(Config.StopsAcknowledgingFrom);
    device->SetMissesFirstTransfers(Config.MissesFirstTransfers);
    device->NoteStrikes(Strikes, Config.Address);
    return device;
  }
  // The variant-5 model keeps a type of its own, for its ADC setter.
  std::unique_ptr<PmicRegisterDevice> device;
  if (model->Pmic == &Variant5Layout) {
    device = std::make_unique<Variant5Pmic>();
  } else {
    device = std::make_unique<PmicRegisterDevice>(*model->Pmic, &C);
  }
  device->Fit(Config);
  device->NoteStrikes(Strikes, Config.Address);
  return device;
}
} // namespace

Soc::Soc(const BoardConfig& Config)
    : Bus(Config.Costs), Pci(Bus.Add(std::make_unique<PciConfigWindow>())),
      Bridge(Config.AcpiBase, Config.PmcBase),
      Timer(Bus.Add(std::make_unique<PmTimer>(Bus.GetClock(), Bridge, Config.PmTimer32Bit,
                                              Config.PmTimerStart, Config.PmTimerFrozenFromRead,
                                              &Bus.Strikes()))),
      Gpio(Bus.Add(std::make_unique<GpioPads>(&Bus.Strikes()))),
      LegacyGpio(Bus.Add(std::make_unique<LegacyGpioPorts>())),
      Pmc(Bus.Add(std::make_unique<PowerManagementController>(Config.PmcFunctionDisable))),
      I2c(Bus.Add(std::make_unique<I2cController>(Bus.GetClock(), Config.I2c, &Bus.Strikes()))),
      I2cFunction(Bus, I2c, Pmc, Config.I2c.Present, Config.I2c.Bar0, Config.I2c.Bar1,
                  Config.I2c.Command),
      PUnit(Bus.GetClock(), Config.Punit, &Bus.Strikes()), config_(Config) {
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
    I2cDevices.push_back(MakeI2cDevice(device, Bus.GetClock(), Bus.Strikes()));
    I2c.Attach(device.Address, device.TenBit, *I2cDevices.back());
  }
  for (const PadLevel& level : Config.PadLevels) {
    Gpio.DriveLevel(level.Community, level.Pad, level.High);
  }
  for (const PadFault& fault : Config.PadFaults) {
    Gpio.FailReads(fault.Address - GpioBlockBase, fault.Reads);
  }
  Bus.SetTimeBudget(Config.TimeBudgetMs * 1'000'000);
  Bus.SetAccessBudget(Config.AccessBudget);
  Bus.SetDeviceStates(this);
}

std::shared_ptr<const SocState> Soc::SaveDevices() const {
  auto state = std::make_shared<SocState>();
  state->Host = Host.Saved();
  state->BridgeConfig = Bridge.Config;
  state->I2cFunction = I2cFunction.Saved();
  state->Timer = Timer.Saved();
  state->Gpio = Gpio.Saved();
  state->LegacyGpio = LegacyGpio.Saved();
  state->Pmc = Pmc.Saved();
  state->I2c = I2c.Saved();
  state->PUnit = PUnit.Saved();
  state->I2cDevices.reserve(I2cDevices.size());
  for (const std::unique_ptr<I2cTarget>& device : I2cDevices) {
    state->I2cDevices.push_back(device->Saved());
  }
  return state;
}

void Soc::RestoreDevices(const SocState& State) {
  if (State.I2cDevices.size() != I2cDevices.size()) {
    throw std::logic_error("a board state restored on a board with other devices on its bus");
  }
  Host.Restore(State.Host);
  Bridge.Config = State.BridgeConfig;
  I2cFunction.Restore(State.I2cFunction);
  Timer.Restore(State.Timer);
  Gpio.Restore(State.Gpio);
  LegacyGpio.Restore(State.LegacyGpio);
  Pmc.Restore(State.Pmc);
  I2c.Restore(State.I2c);
  PUnit.Restore(State.PUnit);
  for (size_t i = 0; i < I2cDevices.size(); ++i) {
    I2cDevices[i]->Restore(State.I2cDevices[i]);
  }
}

} // namespace sim

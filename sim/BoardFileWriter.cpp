#include "sim/BoardFileWriter.h"

#include "common/Format.h"
#include "sim/devices/I2cDeviceModels.h"

#include <cstdio>

namespace sim {

namespace {

constexpr uint32_t CommunitySize = 0x1000;

// Addresses, registers and register values read better in hex, as the board files write them.
// The EFI_GUID memory layout back into "DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD".
std::string GuidText(const std::array<uint8_t, 16>& Name) {
  const size_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text;
  for (size_t i = 0; i < 16; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", Name[order[i]]);
    text += (i == 4 || i == 6 || i == 8 || i == 10 ? "-" : "") + std::string(pair);
  }
  return text;
}

BoardJson DeviceJson(const I2cDeviceConfig& Device) {
  BoardJson registers = BoardJson::object();
  for (const I2cRegisterValue& preset : Device.Registers) {
    registers[tools::Hex(preset.Register, 2)] = tools::Hex(preset.Value, 2);
  }
  BoardJson device = {{"address", tools::Hex(Device.Address, Device.TenBit ? 3 : 2)},
                      {"ten_bit", Device.TenBit},
                      {"model", Device.Model},
                      {"registers", registers}};
  const I2cDeviceModel* model = FindI2cDeviceModel(Device.Model);
  if (model != nullptr && model->Pmic != nullptr && model->Pmic->Converter) {
    device["conversion"] = {{"reading", Device.Conversion.Reading},
                            {"busy_reads", Device.Conversion.BusyReads},
                            {"busy_ns", Device.Conversion.BusyNs},
                            {"never_finishes", Device.Conversion.NeverFinishes}};
  }
  if (model != nullptr && model->Pmic != nullptr && model->Pmic->Refusing) {
    device["refuse_writes"] = Device.RefusedWrites;
  }
  return device;
}

BoardJson HobJson(const HobEntry& Hob) {
  BoardJson hob;
  switch (Hob.What) {
  case HobEntry::Kind::PmicDescriptor:
    hob = {{"kind", "pmic-descriptor"},
           {"variant", Hob.VariantId},
           {"i2c_address", tools::Hex(Hob.I2cAddress, 2)}};
    break;
  case HobEntry::Kind::Guid:
    hob = {{"kind", "guid"}, {"guid", GuidText(Hob.Name)}, {"data_length", Hob.DataLength}};
    break;
  case HobEntry::Kind::Other:
    hob = {
        {"kind", "other"}, {"hob_type", tools::Hex(Hob.Type, 4)}, {"data_length", Hob.DataLength}};
    break;
  case HobEntry::Kind::EndOfList:
    return {{"kind", "end-of-list"}};
  case HobEntry::Kind::NoEndMarker:
    return {{"kind", "no-end-marker"}};
  }
  if (Hob.HobLengthOverride) {
    hob["hob_length"] = *Hob.HobLengthOverride;
  }
  return hob;
}

BoardJson FaultsJson(const BoardConfig& Config) {
  BoardJson pads = BoardJson::array();
  for (const PadFault& fault : Config.PadFaults) {
    pads.push_back({{"address", tools::Hex(fault.Address, 8)}, {"reads", fault.Reads}});
  }
  BoardJson dead = BoardJson::array();
  BoardJson stops = BoardJson::array();
  for (const I2cDeviceConfig& device : Config.I2cDevices) {
    const std::string address = tools::Hex(device.Address, device.TenBit ? 3 : 2);
    if (device.NeverAcknowledges) {
      dead.push_back(address);
    }
    if (device.StopsAcknowledgingFrom != 0) {
      stops.push_back({{"address", address}, {"from_transfer", device.StopsAcknowledgingFrom}});
    }
  }
  BoardJson punit = BoardJson::array();
  for (const PunitReadFault& fault : Config.Punit.ReadsAllOnes) {
    punit.push_back({{"register", fault.Register}, {"read", fault.Read}});
  }
  return {
      {"pad_reads_all_ones", pads},
      {"pm_timer_frozen_from_read", Config.PmTimerFrozenFromRead},
      {"i2c_never_acknowledges", dead},
      {"i2c_stops_acknowledging", stops},
      {"i2c_controller_stays_active", Config.I2c.StaysActive},
      {"i2c_controller_never_enables", Config.I2c.NeverEnables},
      {"i2c_bus_stalled", Config.I2c.Stalled},
      {"i2c_bus_stalled_from_byte", Config.I2c.StallFromByte},
      {"i2c_abort_on_byte", Config.I2c.AbortOnBytes.empty() ? 0 : Config.I2c.AbortOnBytes.front()},
      {"semaphore_never_granted", Config.Punit.NeverGrants},
      {"punit_reads_all_ones", punit}};
}

} // namespace

BoardJson BoardFileJson(const BoardConfig& Config) {
  BoardJson pads = BoardJson::array();
  for (const PadLevel& pad : Config.PadLevels) {
    pads.push_back({{"community", tools::Hex(pad.Community * CommunitySize, 4)},
                    {"pad", pad.Pad},
                    {"level", pad.High ? 1 : 0}});
  }
  BoardJson devices = BoardJson::array();
  for (const I2cDeviceConfig& device : Config.I2cDevices) {
    devices.push_back(DeviceJson(device));
  }
  BoardJson hobs = BoardJson::array();
  for (const HobEntry& hob : Config.Hobs) {
    hobs.push_back(HobJson(hob));
  }
  const I2cControllerConfig& i2c = Config.I2c;
  const PunitConfig& punit = Config.Punit;
  return {{"name", Config.Name},
          {"description", Config.Description},
          {"acpi_base", tools::Hex(Config.AcpiBase, 4)},
          {"pmc_base", tools::Hex(Config.PmcBase, 8)},
          {"pm_timer", {{"bits", Config.PmTimer32Bit ? 32 : 24}, {"start", Config.PmTimerStart}}},
          {"access_costs_ns",
           {{"mmio_read", Config.Costs.MmioRead},
            {"mmio_write", Config.Costs.MmioWrite},
            {"port_read", Config.Costs.PortRead},
            {"port_write", Config.Costs.PortWrite}}},
          {"time_budget_ms", Config.TimeBudgetMs},
          {"access_budget", Config.AccessBudget},
          {"stack_bytes", Config.StackBytes != 0 ? Config.StackBytes : MaxStackBytes},
          {"pads", pads},
          {"pmc_function_disable", tools::Hex(Config.PmcFunctionDisable, 8)},
          {"i2c_controller",
           {{"present", i2c.Present},
            {"bar0", tools::Hex(i2c.Bar0, 8)},
            {"bar1", tools::Hex(i2c.Bar1, 8)},
            {"command", tools::Hex(i2c.Command, 4)},
            {"enable_latency_reads", i2c.EnableLatencyReads},
            {"enable_latency_ns", i2c.EnableLatencyNs},
            {"bus_hz", i2c.BusHz},
            {"transmit_fifo_depth", i2c.TransmitFifoDepth},
            {"receive_fifo_depth", i2c.ReceiveFifoDepth}}},
          {"i2c_devices", devices},
          {"punit",
           {{"arbitrated", punit.Arbitrated},
            {"host_holds_bus", punit.HostHoldsBus},
            {"grant_delay_ns", punit.GrantDelayNs},
            {"busy_until_ns", punit.BusyUntilNs},
            {"register6", tools::Hex(punit.Register6, 8)}}},
          {"hobs", hobs},
          {"faults", FaultsJson(Config)}};
}

} // namespace sim

#include "i2c/I2cController.h"
#include "i2c/PmicBusSemaphore.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "tools/run/HostRun.h"

#include "support/BoardFileErrors.h"

#include <gtest/gtest.h>

namespace {

TEST(BoardFileBus, ReadsThePmicBusKeys) {
  const sim::BoardConfig config = sim::ParseBoardText(R"({
    "pmc_function_disable": "0x20000104",
    "i2c_controller": {"present": false, "bar0": "0xFE960000", "bar1": "0xFE968000",
                       "command": "0x0006", "enable_latency_reads": 2,
                       "enable_latency_ns": 25000, "bus_hz": 100000,
                       "transmit_fifo_depth": 1, "receive_fifo_depth": 4},
    "i2c_devices": [
      {"address": "0x34", "registers": {"0x12": "0xA5", "255": 1}},
      {"address": "0x2A5", "ten_bit": true, "model": "register-file"},
      {"model": "pmic-variant1", "registers": {"0x00": "0x1F", "0x01": "0xB1"},
       "conversion": {"reading": "0x3FF", "busy_reads": 3, "busy_ns": 2000,
                      "never_finishes": true},
       "refuse_writes": 21},
      {"model": "pmic-variant6"}
    ],
    "punit": {"arbitrated": false, "host_holds_bus": true, "grant_delay_ns": 50000,
              "busy_until_ns": 2000000, "register6": "0xCAFE"},
    "faults": {"i2c_never_acknowledges": ["0x34"], "i2c_controller_stays_active": true,
               "i2c_controller_never_enables": true, "i2c_bus_stalled": true,
               "i2c_abort_on_byte": 3, "semaphore_never_granted": true}
  })",
                                                      "bus.json");
  EXPECT_EQ(config.PmcFunctionDisable, 0x20000104u);
  const sim::I2cControllerConfig& c = config.I2c;
  EXPECT_FALSE(c.Present);
  EXPECT_EQ(c.Bar0, 0xFE960000u);
  EXPECT_EQ(c.Bar1, 0xFE968000u);
  EXPECT_EQ(c.Command, 6);
  EXPECT_EQ(c.EnableLatencyReads, 2u);
  EXPECT_EQ(c.EnableLatencyNs, 25000u);
  EXPECT_EQ(c.BusHz, 100000u);
  EXPECT_EQ(c.TransmitFifoDepth, 1u);
  EXPECT_EQ(c.ReceiveFifoDepth, 4u);
  EXPECT_TRUE(c.StaysActive);
  EXPECT_TRUE(c.NeverEnables);
  EXPECT_TRUE(c.Stalled);
  EXPECT_EQ(c.AbortOnBytes, std::vector<uint32_t>{3});

  ASSERT_EQ(config.I2cDevices.size(), 4u);
  const sim::I2cDeviceConfig& pmic = config.I2cDevices[0];
  EXPECT_EQ(pmic.Address, 0x34);
  EXPECT_FALSE(pmic.TenBit);
  EXPECT_EQ(pmic.Model, "register-file");
  ASSERT_EQ(pmic.Registers.size(), 2u);
  EXPECT_EQ(pmic.Registers[0].Register, 0x12);
  EXPECT_EQ(pmic.Registers[0].Value, 0xA5);
  EXPECT_EQ(pmic.Registers[1].Register, 0xFF);
  EXPECT_EQ(pmic.Registers[1].Value, 1);
  EXPECT_TRUE(pmic.NeverAcknowledges);
  EXPECT_EQ(config.I2cDevices[1].Address, 0x2A5);
  EXPECT_TRUE(config.I2cDevices[1].TenBit);
  EXPECT_FALSE(config.I2cDevices[1].NeverAcknowledges);
  const sim::I2cDeviceConfig& variant1 = config.I2cDevices[2];
  EXPECT_EQ(variant1.Address, 0x6E); // the model's own address
  EXPECT_EQ(variant1.Model, "pmic-variant1");
  EXPECT_EQ(variant1.Conversion.Reading, 0x3FF);
  EXPECT_EQ(variant1.Conversion.BusyReads, 3u);
  EXPECT_EQ(variant1.Conversion.BusyNs, 2000u);
  EXPECT_TRUE(variant1.Conversion.NeverFinishes);
  EXPECT_EQ(variant1.RefusedWrites, 21u);
  EXPECT_EQ(config.I2cDevices[3].Address, 0x5E);
  EXPECT_EQ(config.I2cDevices[3].RefusedWrites, 0u);

  EXPECT_FALSE(config.Punit.Arbitrated);
  EXPECT_TRUE(config.Punit.HostHoldsBus);
  EXPECT_TRUE(config.Punit.NeverGrants);
  EXPECT_EQ(config.Punit.GrantDelayNs, 50000u);
  EXPECT_EQ(config.Punit.BusyUntilNs, 2000000u);
  EXPECT_EQ(config.Punit.Register6, 0xCAFEu);
}

TEST(BoardFileBus, LeftOutKeysKeepTheDefaults) {
  const sim::BoardConfig config = sim::ParseBoardText("{}", "empty.json");
  const sim::BoardConfig defaults;
  EXPECT_EQ(config.PmcFunctionDisable, defaults.PmcFunctionDisable);
  EXPECT_EQ(config.I2c.Present, defaults.I2c.Present);
  EXPECT_EQ(config.I2c.BusHz, 400000u);
  EXPECT_TRUE(config.I2cDevices.empty());
  EXPECT_TRUE(config.Punit.Arbitrated);
  EXPECT_FALSE(config.Punit.NeverGrants);
}

TEST(BoardFileBus, BadInputNamesTheFileAndPosition) {
  const std::vector<testsupport::BoardFileErrorCase> cases = {
      {R"({"i2c_controller": {"speed": 1}})", "board.json:1:21: unknown key \"speed\""},
      {R"({"i2c_controller": {"transmit_fifo_depth": 0}})",
       "board.json:1:44: transmit_fifo_depth must be at least 1"},
      {R"({"i2c_controller": {"present": 1}})", "board.json:1:32: present must be true or false"},
      {R"({"i2c_devices": [{"registers": {}}]})", "board.json:1:18: an I2C device needs"},
      {R"({"i2c_devices": [{"address": "0x80"}]})",
       "board.json:1:30: address is out of range (at most 0x7F)"},
      {R"({"i2c_devices": [{"address": "0x400", "ten_bit": true}]})",
       "board.json:1:30: address is out of range (at most 0x3FF)"},
      {R"({"i2c_devices": [{"address": 52}, {"address": "0x34"}]})",
       "board.json:1:47: two I2C devices at the same address"},
      {R"({"i2c_devices": [{"address": 52, "model": "toaster"}]})",
       "board.json:1:43: unknown I2C device model \"toaster\" (known: register-file, "
       "pmic-variant1, pmic-variant5, pmic-variant6)"},
      {R"({"i2c_devices": [{"address": 52, "registers": {"0x100": 1}}]})",
       "board.json:1:48: a register number is out of range"},
      {R"({"i2c_devices": [{"address": 52, "registers": {"1": "0x1FF"}}]})",
       "board.json:1:53: a register value is out of range"},
      {R"({"i2c_devices": [{"address": 52, "registers": {"r1": 1}}]})",
       "board.json:1:48: a register number must be a non-negative integer"},
      {R"({"i2c_devices": [{"address": 52, "colour": 1}]})", "board.json:1:34: unknown key"},
      {R"({"i2c_devices": [{"model": "pmic-variant1", "ten_bit": true}]})",
       "board.json:1:18: an I2C device needs"},
      {R"({"i2c_devices": [{"address": "0x5E"}, {"model": "pmic-variant6"}]})",
       "board.json:1:39: two I2C devices at the same address"},
      {R"({"i2c_devices": [{"address": 52, "conversion": {}}]})",
       "board.json:1:48: model \"register-file\" has no converter"},
      {R"({"i2c_devices": [{"model": "pmic-variant5", "refuse_writes": 3}]})",
       "board.json:1:62: model \"pmic-variant5\" has no register that refuses writes"},
      {R"({"i2c_devices": [{"model": "pmic-variant6", "conversion": 5}]})",
       "board.json:1:59: conversion must be object, not number"},
      {R"({"i2c_devices": [{"model": "pmic-variant1", "conversion": {"busy": 1}}]})",
       "board.json:1:60: unknown key \"busy\""},
      {R"({"i2c_devices": [{"model": "pmic-variant1", "conversion": {"reading": 1024}}]})",
       "board.json:1:71: reading is out of range (at most 0x3FF)"},
      {R"({"i2c_devices": [{"model": "pmic-variant6", "conversion": {"never_finishes": 1}}]})",
       "board.json:1:78: never_finishes must be true or false"},
      {R"({"i2c_devices": [{"model": "pmic-variant6", "refuse_writes": -1}]})",
       "board.json:1:62: refuse_writes must be a non-negative integer"},
      {R"({"punit": {"grant_delay": 5}})", "board.json:1:12: unknown key \"grant_delay\""},
      {R"({"faults": {"i2c_never_acknowledges": ["0x34"]}})",
       "board.json:1:40: no device in i2c_devices at this address"},
      {R"({"faults": {"semaphore_never_granted": "yes"}})",
       "board.json:1:40: semaphore_never_granted must be true or false"},
      {R"({"faults": {"i2c_stuck": true}})", "board.json:1:13: unknown key \"i2c_stuck\""},
      {R"({"pmc_function_disable": "0x100000000"})",
       "board.json:1:26: pmc_function_disable is out of range"},
      {R"({"i2c_controller": {"bar0": "0x00600000"}})",
       "board.json:1:29: puts the I2C controller's BAR0 window 0x00600000-0x00600FFF below "
       "0x80000000"},
      {R"({"i2c_controller": {"bar0": "0xFED03000"}})",
       "board.json:1:29: puts the I2C controller's BAR0 window 0xFED03000-0xFED03FFF over the "
       "PMC window 0xFED03000-0xFED031FF"},
  };
  testsupport::ExpectBoardFileErrors(cases, "board.json");
}

// What a user of the board files gets: the devices described are on the bus, the faults bite.
TEST(BoardFileBus, DescribedDevicesAnswerTheDriver) {
  const char* board = R"({
    "acpi_base": "0x0402",
    "i2c_devices": [{"address": "0x34", "registers": {"0x12": "0xA5"}},
                    {"address": "0x5E", "registers": {"0x00": "0x5A"}}],
    "punit": {"grant_delay_ns": 40000},
    "faults": {"i2c_never_acknowledges": ["0x5E"]}
  })";
  for (const bool semaphore : {false, true}) {
    SCOPED_TRACE(semaphore ? "with the semaphore" : "without the semaphore");
    sim::Soc soc(sim::ParseBoardText(board, "board.json"));
    tools::BoardInstallation installed(soc.Bus);
    PmicBusHold hold = {};
    if (semaphore) {
      ASSERT_EQ(AcquirePmicBus(hold), EFI_SUCCESS);
    }
    uint8_t value = 0;
    EXPECT_EQ(I2cReadRegister(0x34, 0x12, &value), EFI_SUCCESS);
    EXPECT_EQ(value, 0xA5);
    const uint8_t data = 0x3C;
    EXPECT_EQ(I2cWriteRegister(0x34, 0x20, &data), EFI_SUCCESS);
    EXPECT_EQ(I2cReadRegister(0x34, 0x20, &value), EFI_SUCCESS);
    EXPECT_EQ(value, 0x3C);
    value = 0x11;
    EXPECT_EQ(I2cReadRegister(0x5E, 0x00, &value), EFI_DEVICE_ERROR);
    EXPECT_EQ(value, 0x11);
    if (semaphore) {
      ReleasePmicBus(hold);
    }

    const auto activity = sim::decode::DecodeBus(soc.Bus.GetTrace().Accesses());
    ASSERT_EQ(activity.I2c.size(), 4u);
    EXPECT_FALSE(activity.I2c[2].Aborted);
    EXPECT_TRUE(activity.I2c[3].Aborted);
    EXPECT_EQ(activity.I2c[3].Device, 0x5E);
    ASSERT_EQ(activity.Holds.size(), semaphore ? 1u : 0u);
    if (semaphore) {
      EXPECT_GE(activity.Holds[0].AcquireNs - activity.Holds[0].RequestNs, 40'000u);
      EXPECT_LT(activity.Holds[0].AcquireNs, activity.I2c[0].TimeNs);
      EXPECT_GT(activity.Holds[0].ReleaseNs, activity.I2c[3].TimeNs);
    }
  }
}

} // namespace

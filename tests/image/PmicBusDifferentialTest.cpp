// The PMIC bus driver as the image runs it and as the host build runs it: on the same board the
// probe must make the same accesses, with the same values, at the same virtual times, and come to
// the same result, on healthy buses and broken ones alike.
#include "emu/ImageRun.h"
#include "emu/Machine.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "tools/run/HostRun.h"

#include <gtest/gtest.h>

#include <algorithm>

extern "C" uint32_t PmicBusProbe(uint32_t Address, uint32_t Register, uint32_t UseSemaphore);

namespace {

constexpr uint64_t InstructionLimit = 500'000'000;

struct Outcome {
  uint32_t Result;
  std::vector<sim::Access> Trace;
};

Outcome RunHost(const sim::BoardConfig& Config, bool Semaphore) {
  sim::Soc soc(Config);
  tools::BoardInstallation installed(soc.Bus);
  const uint32_t result = PmicBusProbe(0x34, 0x12, Semaphore);
  return {result, soc.Bus.GetTrace().Accesses()};
}

Outcome RunImage(const sim::BoardConfig& Config, bool Semaphore, const emu::PeImage& Image) {
  sim::Soc soc(Config);
  emu::Machine machine(Image, soc.Bus, emu::EmptyHobList(), InstructionLimit);
  const uint32_t arguments[] = {0x34, 0x12, Semaphore ? 1u : 0u};
  const emu::CallResult call = machine.Call(Image.AddressOfEntryPoint, arguments);
  EXPECT_TRUE(call.Returned) << call.Failure;
  return {call.Eax, soc.Bus.GetTrace().Accesses()};
}

TEST(PmicBusDifferentialTest, HostBuildAndImageDriveTheBusAlike) {
  const emu::PeImage image = emu::ReadPeFile(BOARDINIT_PMIC_BUS_PROBE_IMAGE);
  struct Case {
    const char* Name;
    const char* Board; // added to a board with the ACPI window open and a device at 0x34
    uint32_t Result;
    size_t Transfers; // transactions that queued at least one byte
  };
  const Case cases[] = {
      {"healthy", "", 0x5A, 3},
      {"slow P-Unit, slow enable",
       R"("punit": {"grant_delay_ns": 45000, "busy_until_ns": 200000},
          "i2c_controller": {"enable_latency_reads": 2, "enable_latency_ns": 30000},)",
       0x5A, 3},
      {"function switched off, decoding left on elsewhere",
       R"("pmc_function_disable": "0x20000000",
          "i2c_controller": {"bar0": "0xFE960000", "command": 6},)",
       0x80000007, 0},
      {"device never acknowledges", R"("faults": {"i2c_never_acknowledges": ["0x34"]},)",
       0x80000007, 1},
      {"write's data byte refused", R"("faults": {"i2c_abort_on_byte": 4},)", 0x80000007, 3},
      {"stalled bus", R"("faults": {"i2c_bus_stalled": true},)", 0x80000007, 1},
      {"semaphore never granted", R"("faults": {"semaphore_never_granted": true},)", 0x5A, 3},
  };
  for (const Case& c : cases) {
    for (const bool semaphore : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (semaphore ? ", with the semaphore" : ""));
      const std::string text = std::string("{") + c.Board +
                               R"("acpi_base": "0x0402", "access_costs_ns": {"port_read": 3000},
                                  "i2c_devices": [{"address": "0x34",
                                                   "registers": {"0x12": "0xA5"}}]})";
      const sim::BoardConfig config = sim::ParseBoardText(text, c.Name);
      const Outcome host = RunHost(config, semaphore);
      const Outcome emulated = RunImage(config, semaphore, image);
      EXPECT_EQ(host.Result, c.Result);
      EXPECT_EQ(emulated.Result, host.Result);
      const size_t common = std::min(host.Trace.size(), emulated.Trace.size());
      for (size_t i = 0; i < common; ++i) {
        ASSERT_EQ(sim::FormatAccess(emulated.Trace[i]), sim::FormatAccess(host.Trace[i]))
            << "first difference at access " << i;
      }
      EXPECT_EQ(emulated.Trace.size(), host.Trace.size());
      // The probe reached the bus: each of its transfers shows in the image's own trace.
      const sim::decode::BusActivity activity = sim::decode::DecodeBus(emulated.Trace);
      EXPECT_EQ(activity.I2c.size(), c.Transfers);
      EXPECT_EQ(activity.Holds.size(), semaphore ? 1u : 0u);
    }
  }
}

} // namespace

#include "sim/Soc.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

// One model fitted alone on a board, driven byte by byte through its bus interface as the
// controller model drives it: a read is the index, a repeated start and one byte; a write is the
// index and one byte. Its virtual time moves only when a test advances it.
class FittedModel {
public:
  explicit FittedModel(sim::I2cDeviceConfig Device) : soc_(Alone(std::move(Device))) {}

  uint8_t Read(uint8_t Register) {
    sim::I2cTarget& device = *soc_.I2cDevices.front();
    EXPECT_TRUE(device.AddressPhase(false));
    EXPECT_TRUE(device.WriteByte(Register));
    EXPECT_TRUE(device.AddressPhase(true));
    const uint8_t value = device.ReadByte();
    device.Stop();
    return value;
  }
  void Write(uint8_t Register, uint8_t Value) {
    sim::I2cTarget& device = *soc_.I2cDevices.front();
    EXPECT_TRUE(device.AddressPhase(false));
    EXPECT_TRUE(device.WriteByte(Register));
    EXPECT_TRUE(device.WriteByte(Value));
    device.Stop();
  }
  void Advance(uint64_t Ns) { soc_.Bus.GetClock().Advance(Ns); }

private:
  static sim::BoardConfig Alone(sim::I2cDeviceConfig Device) {
    sim::BoardConfig config;
    config.I2cDevices.push_back(std::move(Device));
    return config;
  }
  sim::Soc soc_;
};

sim::I2cDeviceConfig Device(const char* Model, std::vector<sim::I2cRegisterValue> Registers = {}) {
  sim::I2cDeviceConfig device;
  device.Address = 0x10;
  device.Model = Model;
  device.Registers = std::move(Registers);
  return device;
}

constexpr const char* Variant1 = "pmic-variant1";
constexpr const char* Variant5 = "pmic-variant5";
constexpr const char* Variant6 = "pmic-variant6";

TEST(PmicModels, RegistersKeepIgnoreOrAcknowledgeWrites) {
  struct Case {
    const char* Model;
    uint8_t Register;
    std::optional<uint8_t> Preset; // none: as out of reset
    uint8_t Before;
    uint8_t Written;
    uint8_t After;
  };
  const Case cases[] = {
      {Variant1, 0x00, std::nullopt, 0x2B, 0x1F, 0x2B}, // identification
      {Variant1, 0x00, 0x1F, 0x1F, 0x00, 0x1F},
      {Variant1, 0x01, 0xB1, 0xB1, 0x00, 0xB1}, // revision
      {Variant1, 0x20, 0xF3, 0xF3, 0x31, 0xC2}, // pending conditions
      {Variant1, 0x21, 0x07, 0x07, 0xFF, 0x00},
      {Variant1, 0x22, 0x0F, 0x0F, 0x01, 0x0E},
      {Variant1, 0x26, 0x2F, 0x2F, 0x25, 0x25},         // storage
      {Variant1, 0x72, std::nullopt, 0x00, 0xA0, 0xA0}, // bit 0 clear: no conversion
      {Variant5, 0x03, std::nullopt, 0x41, 0x00, 0x41}, // identification and revision
      {Variant5, 0x02, 0xA5, 0xA5, 0x81, 0x24},         // pending conditions
      {Variant5, 0x30, 0x05, 0x05, 0x85, 0x85},
      {Variant6, 0x00, std::nullopt, 0xC8, 0x00, 0xC8}, // identification and revision
      {Variant6, 0x00, 0xCD, 0xCD, 0x00, 0xCD},
      {Variant6, 0x12, 0xE7, 0xE7, 0x1F, 0xE0},         // pending conditions
      {Variant6, 0x50, std::nullopt, 0x00, 0x21, 0x20}, // only 0xA1 starts; bit 0 is busy
      {Variant6, 0x54, 0xFF, 0xFF, 0x3C, 0x3C},
      {"register-file", 0x00, 0xC8, 0xC8, 0x00, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Model << " register " << int{c.Register});
    std::vector<sim::I2cRegisterValue> presets;
    if (c.Preset) {
      presets.push_back({c.Register, *c.Preset});
    }
    FittedModel model(Device(c.Model, presets));
    EXPECT_EQ(model.Read(c.Register), c.Before);
    model.Write(c.Register, c.Written);
    EXPECT_EQ(model.Read(c.Register), c.After);
  }
}

TEST(PmicModels, ConversionIsBusyForItsReadsAndTimeThenHoldsTheReading) {
  struct Case {
    const char* Name;
    const char* Model;
    uint8_t Control, High, Low;
    uint8_t Start;
    sim::PmicConversionConfig Conversion;
    uint64_t PollGapNs; // virtual time before each read of the control register
    uint32_t BusyPolls;
  };
  const Case cases[] = {
      {"at once", Variant1, 0x72, 0x80, 0x81, 0x01, {512, 0, 0, false}, 0, 0},
      {"three reads", Variant1, 0x72, 0x80, 0x81, 0x41, {0x3FF, 3, 0, false}, 0, 3},
      {"1 us, read every 300 ns", Variant1, 0x72, 0x80, 0x81, 0x01, {700, 0, 1000, false}, 300, 3},
      {"the count ends later", Variant6, 0x50, 0x54, 0x55, 0xA1, {512, 5, 1000, false}, 300, 5},
      {"the time ends later", Variant6, 0x50, 0x54, 0x55, 0xA1, {1, 1, 1000, false}, 300, 3},
      {"never finishes", Variant1, 0x72, 0x80, 0x81, 0x01, {512, 0, 0, true}, 1000, 100},
      {"never finishes", Variant6, 0x50, 0x54, 0x55, 0xA1, {512, 0, 0, true}, 1000, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Model << ", " << c.Name);
    sim::I2cDeviceConfig device = Device(c.Model, {{c.High, 0xFC}, {c.Low, 0x5A}});
    device.Conversion = c.Conversion;
    FittedModel model(device);
    model.Write(c.Control, c.Start);
    for (uint32_t poll = 0; poll < c.BusyPolls; ++poll) {
      EXPECT_EQ(model.Read(c.High), 0xFC); // the previous result while it runs
      model.Advance(c.PollGapNs);
      ASSERT_EQ(model.Read(c.Control), c.Start | 0x01) << "poll " << poll;
    }
    model.Advance(c.PollGapNs);
    if (c.Conversion.NeverFinishes) {
      EXPECT_EQ(model.Read(c.Control), c.Start | 0x01);
      EXPECT_EQ(model.Read(c.Low), 0x5A);
      continue;
    }
    EXPECT_EQ(model.Read(c.Control), c.Start & 0xFE);
    EXPECT_EQ(model.Read(c.High), 0xFC | (c.Conversion.Reading >> 8));
    EXPECT_EQ(model.Read(c.Low), c.Conversion.Reading & 0xFF);
  }
}

TEST(PmicModels, RefusingRegisterDropsItsValueForTheFirstWrites) {
  struct Case {
    const char* Model;
    uint8_t Register;
    uint8_t Refused;
    uint32_t Refusals;
  };
  const Case cases[] = {
      {Variant1, 0x5F, 0x80, 0},
      {Variant1, 0x5F, 0x80, 21},
      {Variant6, 0x27, 0x59, 2},
  };
  constexpr uint8_t Other = 0x11;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Model << ", " << c.Refusals << " refusals");
    sim::I2cDeviceConfig device = Device(c.Model);
    device.RefusedWrites = c.Refusals;
    FittedModel model(device);
    model.Write(c.Register, Other); // other values take and use up no refusal
    EXPECT_EQ(model.Read(c.Register), Other);
    for (uint32_t refusal = 0; refusal < c.Refusals; ++refusal) {
      model.Write(c.Register, c.Refused);
      ASSERT_EQ(model.Read(c.Register), Other) << "write " << refusal;
    }
    model.Write(c.Register, c.Refused);
    EXPECT_EQ(model.Read(c.Register), c.Refused);
    model.Write(c.Register, Other);
    model.Write(c.Register, c.Refused);
    EXPECT_EQ(model.Read(c.Register), c.Refused);
  }
}

} // namespace

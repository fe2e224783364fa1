#include "pmic/PmicDescriptor.h"
#include "support/PmicBoardFixture.h"
#include "support/PmicVariantRows.h"
#include "support/ScriptedRegister.h"

#include <functional>

using namespace testsupport;

namespace {

const PmicDescriptor& V5 = PmicVariant5;
const auto R = [](uint8_t Register, uint8_t Value) { return Rd(0x34, Register, Value); };
const auto W = [](uint8_t Register, uint8_t Value) { return Wr(0x34, Register, Value); };
const auto Lost = [](uint8_t Register) { return RdFailed(0x34, Register); };

class Variant5Test : public PmicVariantTest {
protected:
  Variant5Test() : PmicVariantTest(0x34, "pmic-variant5") {}
};

const auto Identity = IdentityOf<PmicVariant5>;
const auto S1 = StatusOf<PmicVariant5, &PmicDescriptor::GetStatus1>;
const auto S2 = StatusOf<PmicVariant5, &PmicDescriptor::GetStatus2>;
const auto S3 = StatusOf<PmicVariant5, &PmicDescriptor::GetStatus3>;

TEST_F(Variant5Test, IdentificationAndRevisionComeFromRegister3) {
  std::vector<Row> rows = {{{}, V5.Detect, 0, {Lost(3)}, false},
                           {{}, Identity, 0xCF03, {Lost(3), Lost(3)}, false}};
  for (const uint8_t v : {0x41, 0x51, 0x61, 0x71, 0x40, 0xC1}) {
    const bool detected = v != 0x40 && v != 0xC1;
    rows.push_back({{{0x03, v}}, V5.Detect, detected, {R(3, v)}});
    rows.push_back({{{0x03, v}}, Identity, (v & 0xCFu) << 8 | (v >> 4 & 3), {R(3, v), R(3, v)}});
  }
  Run(rows);
}

TEST_F(Variant5Test, StatusBitsMapRegisterBitsOneByOne) {
  Run({
      {{{0x02, 0x07}}, S1, 0x07, {R(2, 0x07)}},
      {{{0x02, 0x02}}, S1, 0x04, {R(2, 0x02)}},
      {{{0x02, 0x04}}, S1, 0x02, {R(2, 0x04)}},
      {{{0x02, 0xF8}}, S1, 0x00, {R(2, 0xF8)}},
      {{{0x02, 0xE0}}, S2, 0x1C, {R(2, 0xE0)}},
      {{{0x02, 0x20}}, S2, 0x08, {R(2, 0x20)}},
      {{{0x02, 0x1F}}, S2, 0x00, {R(2, 0x1F)}},
      {{{0x48, 0x08}}, S3, 0x01, {R(0x48, 0x08), R(0x49, 0x00)}},
      {{{0x48, 0x10}, {0x49, 0x80}}, S3, 0x05, {R(0x48, 0x10), R(0x49, 0x80)}},
      {{{0x48, 0xE3}, {0x49, 0x7F}}, S3, 0x00, {R(0x48, 0xE3), R(0x49, 0x7F)}},
      {{}, S1, 0x07, {Lost(2)}, false},
      {{}, S2, 0x1C, {Lost(2)}, false},
      {{}, S3, 0x05, {Lost(0x48), Lost(0x49)}, false},
      {{{0x02, 0xE5}}, V5.ClearStatus2, EFI_SUCCESS, {}},
      // Bits never read are not written back.
      {{}, V5.ClearStatus1, EFI_SUCCESS, {Lost(2)}, false},
      {{{0x02, 0xE5}}, V5.ClearStatus1, EFI_SUCCESS, {R(2, 0xE5), W(2, 0x05)}},
  });
  EXPECT_EQ(Pmic34().Peek(0x02), 0xE0); // the ones written acknowledged bits 0 and 2

  ClearTrace();
  for (const PmicStatusFn get : {V5.GetStatus1, V5.GetStatus2, V5.GetStatus3}) {
    EXPECT_EQ(get(nullptr), EFI_INVALID_PARAMETER);
  }
  EXPECT_TRUE(Trace().empty());
}

TEST_F(Variant5Test, FlagsAreExactlyOneOrZero) {
  std::vector<Row> rows = {
      {{{0x01, 0x20}}, V5.GetFlag1, 1, {R(1, 0x20)}},
      {{{0x01, 0xDF}}, V5.GetFlag1, 0, {R(1, 0xDF)}},
      {{{0x00, 0x20}}, V5.GetFlag3, 1, {R(0, 0x20)}},
      {{{0x00, 0xDF}}, V5.GetFlag3, 0, {R(0, 0xDF)}},
      {{}, V5.GetFlag1, 1, {Lost(1)}, false},
      {{}, V5.GetFlag4, 0, {Lost(0x4C), Lost(2)}, false},
  };
  // Register 0x4C bits 5-6 with register 0x02 bit 0; both are read whatever the first says.
  const std::tuple<uint8_t, uint8_t, uint32_t> flag4[] = {
      {0x00, 0x00, 0}, {0x00, 0x01, 1}, {0x9F, 0xFF, 1}, {0x20, 0x00, 1},
      {0xA0, 0x01, 1}, {0x40, 0x01, 0}, {0x60, 0x01, 0}};
  for (const auto& [m, p, flag] : flag4) {
    rows.push_back({{{0x4C, m}, {0x02, p}}, V5.GetFlag4, flag, {R(0x4C, m), R(2, p)}});
  }
  const std::pair<uint8_t, uint32_t> levels[] = {
      {0x85, 5}, {0x05, 0xFF}, {0xFF, 0xFF}, {0x80, 0}, {0xFE, 0x7E}};
  for (const auto& [v, level] : levels) {
    rows.push_back({{{0xB9, v}}, V5.GetLevel, level, {R(0xB9, v)}});
  }
  Run(rows);
}

TEST_F(Variant5Test, VoltageFallsBackToTheSecondPairOnlyForAZeroReading) {
  const auto volts = V5.ReadVoltage;
  Run({
      {{{0x78, 0x9C}, {0x79, 0x40}}, volts, 2750, {R(0x79, 0x40), R(0x78, 0x9C)}},
      {{{0x79, 0x90}}, volts, 9, {R(0x79, 0x90), R(0x78, 0)}}, // 9.9, truncated
      {{{0x79, 0x0F}, {0xA0, 0x9C}, {0xA1, 0x40}},
       volts,
       2750,
       {R(0x79, 0x0F), R(0x78, 0), R(0xA1, 0x40), R(0xA0, 0x9C)}},
      {{}, volts, 0, {R(0x79, 0), R(0x78, 0), R(0xA1, 0), R(0xA0, 0)}},
      {{}, volts, 4504, {Lost(0x79), Lost(0x78)}, false},
  });
}

TEST_F(Variant5Test, SelectorIsWrittenAndArmedThenReadAndDisarmed) {
  uint8_t selector = 0;
  Run({
      {{{0x36, 0xF1}, {0x8F, 0x00}},
       [] { return V5.SetSelector(6); },
       EFI_SUCCESS,
       {R(0x36, 0xF1), W(0x36, 0xF2), R(0x36, 0xF2), W(0x36, 0xFA), R(0x8F, 0), W(0x8F, 0x08)}},
      {{{0x36, 0x0E}, {0x8F, 0x0C}},
       [&] { return V5.GetSelector(&selector); },
       EFI_SUCCESS,
       {R(0x36, 0x0E), W(0x36, 0x06), R(0x8F, 0x0C), W(0x8F, 0x04)}},
  });
  EXPECT_EQ(selector, 2);
  // Nobody answers: every read-modify-write reads and writes nothing back.
  Run({
      {{},
       [] { return V5.SetSelector(6); },
       EFI_SUCCESS,
       {Lost(0x36), Lost(0x36), Lost(0x8F)},
       false},
      {{}, [&] { return V5.GetSelector(&selector); }, EFI_SUCCESS, {Lost(0x36), Lost(0x8F)}, false},
  });
  EXPECT_EQ(selector, 3);
}

TEST_F(Variant5Test, TableStepsHoldTheBusForTheWholeTable) {
  const std::vector<sim::I2cRegisterValue> registers = {{0x8F, 0x10}, {0x92, 0xF8}, {0x2A, 0xE5},
                                                        {0x13, 0x05}, {0x28, 0xAA}, {0x1A, 0xFF},
                                                        {0x18, 0x00}, {0x12, 0x01}, {0x16, 0x09}};
  Fit(0x34, "pmic-variant5", registers);
  Install();
  EXPECT_EQ(V5.InitStep1(), EFI_SUCCESS);
  EXPECT_EQ(V5.InitStep3(), EFI_SUCCESS);
  EXPECT_EQ(Events(false),
            Locked({{R(0x8F, 0x10), W(0x8F, 0x14)}, {R(0x8F, 0x14), W(0x8F, 0x14)}}));

  ClearTrace();
  EXPECT_EQ(V5.InitStep2(), EFI_SUCCESS);
  EXPECT_EQ(
      Events(false),
      Concat({Locked({{R(0x92, 0xF8), W(0x92, 0xFB)}}),
              EachLocked({R(0x2A, 0xE5), W(0x2A, 0xFA), R(0x13, 0x05), W(0x13, 0x45), R(0x2A, 0xFA),
                          R(0x13, 0x45), R(0x28, 0xAA), W(0x28, 0xB5), R(0x1A, 0xFF), W(0x1A, 0xEB),
                          R(0x18, 0x00), W(0x18, 0x1A), R(0x12, 0x01), W(0x12, 0x41), R(0x16, 0x09),
                          W(0x16, 0x16), R(0x12, 0x41), W(0x12, 0x51)})}));

  Config.I2cDevices.clear();
  Fit(0x34, "pmic-variant5", {{0x37, 0xFE}, {0x28, 0xE0}, {0x17, 0x55}, {0x29, 0xE0}});
  Install();
  EXPECT_EQ(V5.InitStep5(), EFI_SUCCESS);
  EXPECT_EQ(Events(false),
            Locked({{R(0x37, 0xFE), W(0x37, 0xF9), R(0x37, 0xF9), W(0x37, 0xF8), R(0x28, 0xE0),
                     W(0x28, 0xF6), R(0x1A, 0x00), W(0x1A, 0x16), R(0x17, 0x55), W(0x17, 0x1A),
                     R(0x13, 0x00), W(0x13, 0x20), R(0x29, 0xE0), W(0x29, 0xFF), R(0x13, 0x20),
                     W(0x13, 0x60), R(0x1B, 0x00), W(0x1B, 0x16), R(0x12, 0x00), W(0x12, 0x2C)}}));

  // Nobody answers: every read is made, and no read-modify-write writes back bits it never read.
  Config.I2cDevices.clear();
  Install();
  EXPECT_EQ(V5.InitStep2(), EFI_SUCCESS);
  EXPECT_EQ(Events(false),
            Concat({Locked({{Lost(0x92)}}),
                    EachLocked({Lost(0x2A), Lost(0x13), Lost(0x2A), Lost(0x13), Lost(0x28),
                                Lost(0x1A), Lost(0x18), Lost(0x12), Lost(0x16), Lost(0x12)})}));
}

TEST_F(Variant5Test, VerifyStepTriesTwentyOneTimesAtMost) {
  std::vector<uint8_t> at21(20, 0x2D), at22(21, 0x2D);
  at21.push_back(0xAC); // bit 7 is not compared
  at22.push_back(0x2C);
  const std::tuple<std::vector<uint8_t>, size_t, EFI_STATUS> cases[] = {{{0x2C}, 1, EFI_SUCCESS},
                                                                        {{0xAC}, 1, EFI_SUCCESS},
                                                                        {at21, 21, EFI_SUCCESS},
                                                                        {{0x2D}, 21, EFI_TIMEOUT},
                                                                        {at22, 21, EFI_TIMEOUT}};
  for (const auto& [answers, attempts, result] : cases) {
    SCOPED_TRACE(attempts);
    Install();
    ScriptedRegister device(0x24, answers);
    soc->I2c.Attach(0x34, false, device);
    EXPECT_EQ(V5.InitStep6(), result);
    std::vector<std::string> transfers;
    for (size_t i = 0; i < attempts; ++i) {
      transfers.insert(transfers.end(), {W(0x24, 0x2C), R(0x24, device.Answer(i))});
    }
    EXPECT_EQ(Events(false), EachLocked(transfers));
    soc.reset(); // before the device it holds goes
  }
}

} // namespace

#include "pmic/PmicDescriptor.h"
#include "pmic/PmicRegisterAccess.h"
#include "support/PmicBoardFixture.h"
#include "support/PmicVariantRows.h"
#include "support/ScriptedRegister.h"

#include <functional>

using namespace testsupport;

namespace {

const PmicDescriptor& V6 = PmicVariant6;
const auto R = [](uint8_t Register, uint8_t Value) { return Rd(0x5E, Register, Value); };
const auto W = [](uint8_t Register, uint8_t Value) { return Wr(0x5E, Register, Value); };

class Variant6Test : public PmicVariantTest {
protected:
  Variant6Test() : PmicVariantTest(0x5E, "register-file") {}
};

const auto Identity = IdentityOf<PmicVariant6>;
const auto S1 = StatusOf<PmicVariant6, &PmicDescriptor::GetStatus1>;
const auto S2 = StatusOf<PmicVariant6, &PmicDescriptor::GetStatus2>;
const auto S3 = StatusOf<PmicVariant6, &PmicDescriptor::GetStatus3>;

TEST_F(Variant6Test, IdentificationRevisionAndStatusBits) {
  std::vector<Row> rows = {
      {{{0x00, 0xCD}}, Identity, 0x0301, {R(0x00, 0xCD)}},
      {{{0x12, 0x07}}, S1, 0x07, {R(0x12, 0x07)}},
      {{{0x12, 0x02}}, S1, 0x04, {R(0x12, 0x02)}},
      {{{0x12, 0xF8}}, S1, 0x00, {R(0x12, 0xF8)}},
      {{{0x12, 0xE0}}, S2, 0x1C, {R(0x12, 0xE0)}},
      {{{0x12, 0x40}}, S2, 0x10, {R(0x12, 0x40)}},
      {{{0x03, 0x30}}, S3, 0x05, {R(0x03, 0x30)}},
      {{{0x03, 0x10}}, S3, 0x04, {R(0x03, 0x10)}},
      {{{0x03, 0x20}}, S3, 0x01, {R(0x03, 0x20)}},
      {{{0x03, 0xCF}}, S3, 0x00, {R(0x03, 0xCF)}},
      {{{0x03, 0x20}}, V6.GetFlag3, 1, {R(0x03, 0x20)}},
      {{{0x03, 0xDF}}, V6.GetFlag3, 0, {R(0x03, 0xDF)}},
      {{{0x03, 0xFE}}, V6.GetFlag4, 1, {R(0x03, 0xFE)}},
      {{{0x03, 0x01}}, V6.GetFlag4, 0, {R(0x03, 0x01)}},
      // Plain writes of ones, with no read before.
      {{{0x12, 0xFF}}, V6.ClearStatus1, EFI_SUCCESS, {W(0x12, 0x1F)}},
      {{{0x12, 0xFF}}, V6.ClearStatus2, EFI_SUCCESS, {W(0x12, 0xE0)}},
  };
  // Both identification bits set and a revision of 0 or 1; bits 2-0 do not matter.
  for (const uint8_t v : {0xC0, 0xC7, 0xC8, 0xCF, 0xD0, 0x80, 0x48, 0xFF}) {
    rows.push_back(
        {{{0x00, v}}, V6.Detect, (v & 0xF8) == 0xC0 || (v & 0xF8) == 0xC8, {R(0x00, v)}});
  }
  Run(rows);

  ClearTrace();
  for (const PmicStatusFn get : {V6.GetStatus1, V6.GetStatus2, V6.GetStatus3}) {
    EXPECT_EQ(get(nullptr), EFI_INVALID_PARAMETER);
  }
  EXPECT_TRUE(Trace().empty());
}

TEST_F(Variant6Test, TableStepsHoldTheBusForTheWholeTable) {
  Fit(0x5E, "register-file", {{0x02, 0x3F}, {0x10, 0x71}, {0x45, 0xFF}});
  Install();
  EXPECT_EQ(V6.InitStep3(), EFI_SUCCESS);
  EXPECT_EQ(V6.InitStep5(), EFI_SUCCESS);
  EXPECT_EQ(Events(false),
            Locked({{R(0x02, 0x3F), W(0x02, 0xC0)},
                    {R(0x10, 0x71), W(0x10, 0x7D), R(0x2B, 0),    W(0x2B, 0x0A), R(0x4E, 0),
                     W(0x4E, 0x1D), R(0x4C, 0),    W(0x4C, 0x1D), R(0x48, 0),    W(0x48, 0x1D),
                     R(0x47, 0),    W(0x47, 0x1D), R(0x49, 0),    W(0x49, 0x2F), R(0x4A, 0),
                     W(0x4A, 0x59), R(0x4B, 0),    W(0x4B, 0x59), R(0x4D, 0),    W(0x4D, 0x1D),
                     R(0x45, 0xFF), W(0x45, 0x0D)}}));
}

// Each attempt and each poll is a transfer of its own, under a hold of its own.
TEST_F(Variant6Test, ConversionAndVerifiedWriteAreBounded) {
  struct Case {
    const char* Name;
    uint8_t Register; // the scripted one
    std::vector<uint8_t> Answers;
    std::function<uint32_t()> Call;
    uint32_t Result;
    size_t Repeats; // polls of 0x50, or attempts on 0x27
  };
  const Case cases[] = {
      {"reading 512", 0x50, {0x01, 0x01, 0x00}, V6.ReadVoltage, 2399, 3},
      {"reading 1023", 0x50, {0xA0}, V6.ReadVoltage, 4794, 1},
      {"busy for ever", 0x50, {0x01}, V6.ReadVoltage, 4794, 556},
      {"first read-back", 0x27, {0x59}, V6.InitStep6, EFI_SUCCESS, 1},
      {"bit 7 is not compared", 0x27, {0x58, 0xD9}, V6.InitStep6, EFI_SUCCESS, 2},
      {"never matches", 0x27, {0x58}, V6.InitStep6, EFI_TIMEOUT, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    Install();
    ScriptedRegister device(c.Register, c.Answers);
    // 0x54 counts in bits 1-0 only.
    const uint8_t high = c.Result == 2399 ? 0xFE : 0xFF;
    device.Poke(0x54, high);
    device.Poke(0x55, c.Result == 2399 ? 0x00 : 0xFF);
    soc->I2c.Attach(0x5E, false, device);
    EXPECT_EQ(c.Call(), c.Result);
    std::vector<std::string> transfers;
    if (c.Register == 0x50) {
      transfers.push_back(W(0x50, 0xA1));
    }
    for (size_t i = 0; i < c.Repeats; ++i) {
      if (c.Register == 0x27) {
        transfers.push_back(W(0x27, 0x59));
      }
      transfers.push_back(R(c.Register, device.Answer(i)));
    }
    if (c.Register == 0x50 && c.Repeats < PmicConversionPollLimit) {
      transfers.insert(transfers.end(), {R(0x54, high), R(0x55, device.Peek(0x55))});
    }
    EXPECT_EQ(Events(false), EachLocked(transfers));
    soc.reset(); // before the device it holds goes
  }
}

TEST_F(Variant6Test, EveryTransferFailing) {
  const std::pair<std::function<uint32_t()>, uint32_t> cases[] = {
      {V6.Detect, 0},
      {Identity, 0x0307},
      {[] { return V6.ReadRegister(0x12); }, 0xFF},
      {[] { return V6.WriteRegister(0x12, 0); }, EFI_SUCCESS},
      {S1, 0x07},
      {S2, 0x1C},
      {S3, 0x05},
      {V6.GetFlag3, 1},
      {V6.GetFlag4, 0},
      {V6.ReadVoltage, 4794},
      {V6.InitStep3, EFI_SUCCESS},
      {V6.InitStep5, EFI_SUCCESS},
      {V6.InitStep6, EFI_TIMEOUT},
      {V6.ClearStatus1, EFI_SUCCESS},
      {V6.ClearStatus2, EFI_SUCCESS},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Config.I2cDevices.clear();
    Install();
    EXPECT_EQ(cases[i].first(), cases[i].second);
  }
}

// A poll that failed reads 0xFF, busy, and one made without the semaphore's grant is a poll like
// another: neither ends the wait, only the bound does. The start counts bytes from 1 (its write
// takes bytes 1-2, the first poll 3-4).
TEST_F(Variant6Test, ConversionWaitGoesOnThroughFailedAndUngrantedPolls) {
  struct Case {
    const char* Name;
    uint32_t AbortOnByte;
    bool NeverGrants;
    uint64_t GrantDelayNs;
    std::vector<uint8_t> Control; // reads of 0x50
    uint32_t Volts;
    std::vector<std::string> Transfers; // each under a hold of its own, granted or not
  };
  const std::vector<std::string> reading = {R(0x54, 0x02), R(0x55, 0x00)};
  const Case cases[] = {
      {"a refused poll, then answers",
       3,
       false,
       0,
       {0x01, 0x01, 0x00},
       2399,
       Concat({{W(0x50, 0xA1), RdFailed(0x5E, 0x50), R(0x50, 0x01), R(0x50, 0x01), R(0x50, 0x00)},
               reading})},
      {"never granted",
       0,
       true,
       0,
       {0x01, 0x00},
       2399,
       Concat({{W(0x50, 0xA1), R(0x50, 0x01), R(0x50, 0x00)}, reading})},
      {"granted late",
       0,
       false,
       400'000'000,
       {0x01, 0x01, 0x00},
       2399,
       Concat({{W(0x50, 0xA1), R(0x50, 0x01), R(0x50, 0x01), R(0x50, 0x00)}, reading})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    Config.I2c.AbortOnBytes.clear();
    if (c.AbortOnByte != 0) {
      Config.I2c.AbortOnBytes.push_back(c.AbortOnByte);
    }
    Config.Punit.NeverGrants = c.NeverGrants;
    Config.Punit.GrantDelayNs = c.GrantDelayNs;
    Config.Costs.PortRead = 5000; // fewer timer reads per semaphore wait; the waits stay as long
    Install();
    ScriptedRegister device(0x50, c.Control);
    device.Poke(0x54, 0x02);
    soc->I2c.Attach(0x5E, false, device);
    EXPECT_EQ(V6.ReadVoltage(), c.Volts);
    std::vector<std::string> events = Events(false);
    std::erase_if(events, [](const std::string& E) { return E == Lock || E == Unlock; });
    EXPECT_EQ(events, c.Transfers);
    soc.reset(); // before the device it holds goes
  }
  // Nothing on the bus: the start is refused, the first poll fails on that refusal before it
  // moves a byte, and each of the 555 others finds nothing there.
  Config.I2cDevices.clear();
  Config.I2c.AbortOnBytes = {};
  Config.Punit.GrantDelayNs = 0;
  Install();
  EXPECT_EQ(V6.ReadVoltage(), 4794u);
  std::vector<std::string> expected = {Lock, "write 5E:50 = A1 failed", Unlock, Lock, Unlock};
  for (uint32_t poll = 1; poll < PmicConversionPollLimit; ++poll) {
    expected.insert(expected.end(), {Lock, RdFailed(0x5E, 0x50), Unlock});
  }
  EXPECT_EQ(Events(false), expected);
}

// The fallback touches nothing: no transfer and no semaphore handshake from any of its slots.
TEST_F(Variant6Test, FallbackAnswersWithoutTouchingTheBus) {
  const PmicDescriptor& none = PmicVariantNone;
  Fit(0x5E, "register-file", {{0x00, 0xC8}});
  Install();
  for (const uint8_t reg : {0x00, 0x12, 0xFF}) {
    EXPECT_EQ(none.ReadRegister(reg), 0);
  }
  EXPECT_EQ(none.WriteRegister(0x12, 0x34), EFI_SUCCESS);
  EXPECT_EQ(none.Detect(), 1);
  EXPECT_EQ(none.GetFlag2(), 1);
  EXPECT_TRUE(Trace().empty());
}

} // namespace

#include "pmic/PmicRegisterAccess.h"
#include "pmic/PmicDescriptor.h"
#include "support/PmicBoardFixture.h"

using namespace testsupport;

namespace {

class PmicRegisterAccessTest : public PmicBoardTest {};

TEST_F(PmicRegisterAccessTest, EachUpdateFormsItsValueFromTheRegisterReadJustBefore) {
  struct Case {
    PmicRegisterUpdate Update;
    int Old;     // -1: nobody answers, the read fails
    int Written; // -1: nothing written
  };
  const Case cases[] = {
      {{0x40, UpdateAnd, 0x0F, 0xFF}, 0xF3, 0x03},
      {{0x40, UpdateOr, 0x0F, 0xF1}, 0x80, 0x81},
      {{0x40, UpdateClear, 0x01, 0xA5}, 0xFF, 0xFE},
      {{0x40, UpdateMasked, 0x1F, 0x16}, 0xE5, 0xF6},
      {{0x40, UpdateMasked, 0x00, 0xFF}, 0x12, -1},
      {{0x40, UpdateOr, 0x00, 0xFF}, 0x12, -1},
      {{0x40, 4, 0xFF, 0xFF}, 0x12, -1},
      // After a failed read only a value that does not depend on the old one is written.
      {{0x40, UpdateMasked, 0x07, 0x01}, -1, -1},
      {{0x40, UpdateOr, 0x0F, 0x00}, -1, -1},
      {{0x40, UpdateMasked, 0xFF, 0x5A}, -1, 0x5A},
      {{0x40, UpdateAnd, 0x0F, 0xF0}, -1, 0x00},
      {{0x40, UpdateClear, 0xFF, 0x00}, -1, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "operation " << c.Update.Operation << " mask "
                                    << int{c.Update.Mask} << " on " << c.Old);
    Config.I2cDevices.clear();
    if (c.Old >= 0) {
      Fit(0x34, "register-file", {{0x40, static_cast<uint8_t>(c.Old)}});
    }
    Install();
    EXPECT_EQ(ApplyRegisterUpdates(0x34, PmicBusLock::PerAccess, &c.Update, 1), EFI_SUCCESS);
    std::vector<std::string> transfers = {c.Old >= 0 ? Rd(0x34, 0x40, c.Old)
                                                     : RdFailed(0x34, 0x40)};
    if (c.Written >= 0) {
      transfers.push_back(Wr(0x34, 0x40, c.Written));
    }
    EXPECT_EQ(Events(), Locked({transfers}));
  }
}

// A read-modify-write whose read failed writes nothing and says so: every caller keeps bits of the
// old value, which were never read. A good read is followed by the write, whose status it returns.
TEST_F(PmicRegisterAccessTest, ModifyWritesOnlyAfterAGoodRead) {
  struct Case {
    uint8_t Keep;
    uint8_t Set;
    int Written; // -1: nothing written
    EFI_STATUS Status;
  };
  const Case cases[] = {
      {0xF8, 0x01, -1, EFI_DEVICE_ERROR}, // bits 7-3 would be written back unread
      {0x0F, 0x0F, -1, EFI_DEVICE_ERROR}, // even where every kept bit is set anyway
      {0xF8, 0x01, 0x11, EFI_SUCCESS},    // the read answered 0x12
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keep " << int{c.Keep} << " set " << int{c.Set});
    Config.I2cDevices.clear();
    Fit(0x34, "register-file", {{0x40, 0x12}});
    // The byte the read takes back is refused where the read is to fail.
    Config.I2c.AbortOnBytes =
        c.Status == EFI_SUCCESS ? std::vector<uint32_t>{} : std::vector<uint32_t>{2};
    Install();
    EXPECT_EQ(PmicModifyRegister(0x34, 0x40, PmicBusLock::None, c.Keep, c.Set), c.Status);
    std::vector<std::string> transfers = {c.Status == EFI_SUCCESS ? Rd(0x34, 0x40, 0x12)
                                                                  : RdFailed(0x34, 0x40)};
    if (c.Written >= 0) {
      transfers.push_back(Wr(0x34, 0x40, c.Written));
    }
    EXPECT_EQ(Events(), transfers);
  }
}

TEST_F(PmicRegisterAccessTest, ALockedTableHoldsTheBusOnceAndLaterStepsSeeEarlierWrites) {
  Fit(0x34, "register-file", {{0x37, 0xC8}, {0x12, 0x0F}});
  Install();
  const PmicRegisterUpdate table[] = {
      {0x37, UpdateMasked, 0x07, 0x01}, {0x12, UpdateClear, 0x03, 0}, {0x37, UpdateOr, 0x30, 0x30}};
  EXPECT_EQ(ApplyRegisterUpdates(0x34, PmicBusLock::PerAccess, table, 3), EFI_SUCCESS);
  EXPECT_EQ(Events(), Locked({{Rd(0x34, 0x37, 0xC8), Wr(0x34, 0x37, 0xC9), Rd(0x34, 0x12, 0x0F),
                               Wr(0x34, 0x12, 0x0C), Rd(0x34, 0x37, 0xC9), Wr(0x34, 0x37, 0xF9)}}));
  ClearTrace();
  EXPECT_EQ(ApplyRegisterUpdates(0x34, PmicBusLock::PerAccess, table, 0), EFI_SUCCESS);
  EXPECT_EQ(Events(), Locked({{}}));
  ClearTrace();
  EXPECT_EQ(ApplyRegisterUpdates(0x6E, PmicBusLock::None, table, 1), EFI_SUCCESS);
  EXPECT_EQ(ApplyRegisterUpdates(0x6E, PmicBusLock::None, table, 0), EFI_SUCCESS);
  EXPECT_EQ(Events(), (std::vector<std::string>{RdFailed(0x6E, 0x37)}));
}

TEST_F(PmicRegisterAccessTest, EachVariantReachesItsDeviceUnderItsOwnLockingRule) {
  struct Case {
    const char* Name;
    PmicReadFn Read;
    PmicWriteFn Write;
    uint8_t Device;
    bool PerCall;
    EFI_STATUS SilentWrite;
  };
  const Case cases[] = {
      {"variant 1", PmicVariant1.ReadRegister, PmicVariant1.WriteRegister, 0x6E, false,
       EFI_DEVICE_ERROR},
      {"variant 1 auxiliary", PmicVariant1.ReadAuxRegister, PmicVariant1.WriteAuxRegister, 0x5E,
       false, EFI_DEVICE_ERROR},
      {"variant 5", PmicVariant5.ReadRegister, PmicVariant5.WriteRegister, 0x34, true, EFI_SUCCESS},
      {"variant 6", PmicVariant6.ReadRegister, PmicVariant6.WriteRegister, 0x5E, true, EFI_SUCCESS},
  };
  for (const Case& c : cases) {
    for (const bool fitted : {true, false}) {
      SCOPED_TRACE(std::string(c.Name) + (fitted ? " fitted" : " silent"));
      Config.I2cDevices.clear();
      if (fitted) {
        Fit(c.Device, "register-file", {{0x21, 0x5A}});
      }
      // On a bus without byte times the refused index shows before the next byte is queued.
      Config.I2c.BusHz = fitted ? 400000 : 0;
      Install();
      EXPECT_EQ(c.Read(0x21), fitted ? 0x5A : 0xFF);
      EXPECT_EQ(c.Write(0x22, 0xC3), fitted ? EFI_SUCCESS : c.SilentWrite);
      const std::vector<std::string> transfers =
          fitted ? std::vector{Rd(c.Device, 0x21, 0x5A), Wr(c.Device, 0x22, 0xC3)}
                 : std::vector{IndexRefused(c.Device, 0x21), IndexRefused(c.Device, 0x22)};
      EXPECT_EQ(Events(), c.PerCall ? EachLocked(transfers) : transfers);
      if (fitted) {
        soc->I2c.Drain();
        EXPECT_EQ(soc->RegisterFileDevice(c.Device)->Peek(0x22), 0xC3);
      }
    }
  }
}

TEST_F(PmicRegisterAccessTest, TheFallbackReadsZeroAndWritesNothing) {
  Fit(0x5E, "register-file", {{0x21, 0x5A}});
  Install();
  EXPECT_EQ(PmicVariantNone.ReadRegister(0x21), 0);
  EXPECT_EQ(PmicVariantNone.WriteRegister(0x21, 0xC3), EFI_SUCCESS);
  EXPECT_TRUE(Trace().empty());
}

} // namespace

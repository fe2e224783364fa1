// Table-driven calls of one variant's operations: each row runs on a fresh board where the
// variant's device holds the row's registers, and states the call's result and its transfers,
// each under a hold of the bus semaphore of its own.
#pragma once

#include "pmic/PmicDescriptor.h"
#include "support/PmicBoardFixture.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct Row {
  std::vector<sim::I2cRegisterValue> Registers;
  std::function<uint32_t()> Call;
  uint32_t Result;
  std::vector<std::string> Transfers;
  bool Fitted = true; // false: no device at all
};

class PmicVariantTest : public PmicBoardTest {
protected:
  PmicVariantTest(uint16_t Address, std::string Model) : address_(Address), model_(Model) {}

  void Run(const std::vector<Row>& Rows) {
    for (size_t i = 0; i < Rows.size(); ++i) {
      SCOPED_TRACE("row " + std::to_string(i));
      Config.I2cDevices.clear();
      if (Rows[i].Fitted) {
        Fit(address_, model_, Rows[i].Registers);
      }
      Install();
      EXPECT_EQ(Rows[i].Call(), Rows[i].Result);
      EXPECT_EQ(Events(false), EachLocked(Rows[i].Transfers));
    }
  }

private:
  uint16_t address_;
  std::string model_;
};

// GetIdentity's two stores as Id << 8 | Revision.
template <const PmicDescriptor& D> uint32_t IdentityOf() {
  uint8_t id = 0, revision = 0;
  EXPECT_EQ(D.GetIdentity(&id, &revision), EFI_SUCCESS);
  return uint32_t{id} << 8 | revision;
}

// What a status reader stored, over a word that held something else.
template <const PmicDescriptor& D, PmicStatusFn const PmicDescriptor::*Slot> uint32_t StatusOf() {
  uint32_t status = 0xA5A5A5A5;
  EXPECT_EQ((D.*Slot)(&status), EFI_SUCCESS);
  return status;
}

} // namespace testsupport

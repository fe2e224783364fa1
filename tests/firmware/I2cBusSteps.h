// The register addresses of the PMIC bus as the tests spell them out, and the access sequences
// that several tests share. Written from the register map, not from the module's constants.
#pragma once

#include "support/BoardFixture.h"
#include "support/I2cRegisterMap.h"

#include <vector>

namespace i2csteps {

using namespace testsupport;
using namespace i2cmap;

constexpr uint32_t PmcBaseRegister = 0xE00F8044;
constexpr uint32_t SimIdentifier = 0x0F415AB0;

// Status values of the model: idle and empty; holding the bus with nothing queued; a command
// still queued; a byte waiting to be taken.
constexpr uint32_t StatusIdle = 0x06;
constexpr uint32_t StatusHolding = 0x27;
constexpr uint32_t StatusQueued = 0x23;
constexpr uint32_t StatusByteWaiting = 0x0E;

constexpr uint32_t MessageControl = 0xE00000D0;
constexpr uint32_t MessageData = 0xE00000D4;
constexpr uint32_t MessageAddressExtension = 0xE00000D8;

// Bring-up as it runs on a board whose PMC window is at PmcBase.
inline std::vector<Expected> BringUp(uint32_t PmcBase, uint32_t FunctionDisable, uint8_t Command) {
  const uint32_t functionDisable = PmcBase + 0x34;
  std::vector<Expected> steps = {R32(PmcBaseRegister, PmcBase),
                                 R32(functionDisable, FunctionDisable)};
  if (FunctionDisable & (1u << 29)) {
    steps.push_back(R32(functionDisable, FunctionDisable));
    steps.push_back(W32(functionDisable, FunctionDisable & ~(1u << 29)));
  }
  steps.push_back(R32(ConfigIdentifier, SimIdentifier));
  steps.push_back(R8(ConfigCommand, Command));
  if ((Command & 0x2) == 0) {
    steps.push_back(W32(ConfigBar0, 0xFE950000));
    steps.push_back(W32(ConfigBar1, 0xFE958000));
    steps.push_back(W32(ConfigCommand, 6));
  }
  steps.push_back(W32(Base + 0x804, 3));
  steps.push_back(W32(Base + 0x800, 0x80020003));
  return steps;
}

// Everything after the bring-up of a full set-up, on a healthy controller.
inline std::vector<Expected> SetUpAfterBringUp(uint16_t TargetValue) {
  return {
      R32(Status, StatusIdle),
      W16(Enable, 0),
      R16(EnableStatus, 0),
      W16(Base + 0x14, 532),
      W16(Base + 0x18, 626),
      W16(Base + 0x1C, 80),
      W16(Base + 0x20, 173),
      W32(Base + 0x7C, 50),
      W16(Base + 0x30, 0),
      W16(TargetAddress, TargetValue),
      W16(Base + 0x38, 0),
      W16(Base + 0x3C, 0),
      W16(Control, 0x65),
      W16(DataCommand, 0),
      W16(Enable, 1),
      R16(EnableStatus, 1),
      R16(ClearTransmitAbort, 0),
  };
}

// The disable and enable handshakes of a healthy controller, back to back: how a byte wait that
// gives up empties both FIFOs before it reports the failure.
inline std::vector<Expected> Flush() {
  return {W16(Enable, 0), R16(EnableStatus, 0), W16(Enable, 1), R16(EnableStatus, 1)};
}

// The re-target that opens every byte transfer on a set-up controller.
inline std::vector<Expected> Retarget(uint32_t TargetValue) {
  return {R32(ConfigBar0, 0xFE950000), W32(TargetAddress, TargetValue)};
}

inline std::vector<Expected> Join(std::initializer_list<std::vector<Expected>> Parts) {
  std::vector<Expected> all;
  for (const auto& part : Parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

} // namespace i2csteps

// Every device model of the simulated SoC at one moment, as plain values: what a checkpoint keeps
// of the devices, beside the board's clock, windows and trace (sim::BoardState). What a board
// description says (faults included) is not part of it: a state restored on a board built from
// the same description with a fault added runs on with that fault.
#pragma once

#include "sim/Board.h"
#include "sim/RegisterFile.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/HostBridge.h"
#include "sim/devices/I2cController.h"
#include "sim/devices/I2cPciFunction.h"
#include "sim/devices/I2cTarget.h"
#include "sim/devices/PmTimer.h"
#include "sim/devices/Punit.h"

#include <vector>

namespace sim {

struct SocState {
  HostBridge::State Host;
  RegisterFile BridgeConfig;
  I2cPciFunction::State I2cFunction;
  PmTimer::State Timer;
  GpioPads::State Gpio;
  RegisterFile LegacyGpio;
  RegisterFile Pmc;
  I2cController::State I2c;
  Punit::State PUnit;
  std::vector<I2cTargetState> I2cDevices; // in the board description's order
};

// About what a saved board holds in memory: its windows, counts and trace position, and its
// devices' state (containers counted by what they hold).
inline size_t Bytes(const BoardState& State) {
  size_t bytes = sizeof(BoardState) + State.Windows.size() * sizeof(BoardState::WindowState) +
                 State.Counts.size() * sizeof(DeviceCounts) + State.Trace.LastReads.Bytes();
  if (const SocState* devices = State.Devices.get()) {
    bytes += sizeof(SocState) + devices->Host.Config.Size() + devices->BridgeConfig.Size() +
             devices->I2cFunction.Config.Size() + devices->Gpio.Registers.Size() +
             devices->Gpio.FailedReads.size() * 2 * sizeof(uint32_t) + devices->LegacyGpio.Size() +
             devices->Pmc.Size() + devices->I2c.Registers.Size() +
             devices->I2c.Transmit.Capacity() * sizeof(I2cController::Command) +
             devices->I2c.Receive.Capacity() +
             devices->PUnit.Registers.size() * 2 * sizeof(uint32_t) +
             devices->I2cDevices.size() * sizeof(I2cTargetState);
  }
  return bytes;
}

} // namespace sim

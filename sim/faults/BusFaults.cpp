// The PMIC bus family: the controller, the bus behind it and the devices on it. A fault of the
// bus shows to the module only through the controller's registers, so a point that would strike
// after the module's last read of them (the last byte of a write the module handed to the FIFO
// and never looked after) is not one: none of these kinds lists it.
#include "sim/Soc.h"
#include "sim/SocState.h"
#include "sim/decode/BusDecoder.h"
#include "sim/devices/I2cDeviceModels.h"
#include "sim/faults/FaultFamily.h"

#include <algorithm>

namespace sim::faults {

namespace {

const PmicLayout* LayoutOf(const I2cDeviceConfig& Device) {
  const I2cDeviceModel* model = FindI2cDeviceModel(Device.Model);
  return model != nullptr ? model->Pmic : nullptr;
}

bool Refuses(const I2cControllerConfig& I2c, uint32_t Byte) {
  return std::find(I2c.AbortOnBytes.begin(), I2c.AbortOnBytes.end(), Byte) !=
         I2c.AbortOnBytes.end();
}

// The first byte that never moves on a stalled bus; 0 on one that moves.
uint32_t StallsFrom(const I2cControllerConfig& I2c) {
  return I2c.Stalled ? 1 : I2c.StallFromByte;
}

// The device in the description's place for a 7-bit address, in a saved state; null when none.
const I2cTargetState* SavedDevice(const BoardConfig& Board, const SocState& State,
                                  uint32_t Address) {
  for (size_t i = 0; i < Board.I2cDevices.size() && i < State.I2cDevices.size(); ++i) {
    if (Board.I2cDevices[i].Address == Address && !Board.I2cDevices[i].TenBit) {
      return &State.I2cDevices[i];
    }
  }
  return nullptr;
}

// Whether the PMIC bus controller has had no access yet: its window is not mapped, or nothing
// has gone through it.
bool ControllerUntouched(const BoardState& State, const SocState& Devices) {
  if (!Devices.I2cFunction.Window) {
    return true;
  }
  const size_t window = *Devices.I2cFunction.Window;
  if (window >= State.Windows.size()) {
    return false;
  }
  const DeviceCounts& counts = State.Counts.at(State.Windows[window].Device);
  return counts.Reads == 0 && counts.Writes == 0;
}

// The devices a point of these kinds can name, with the reference run's state of each.
template <typename Visit> void ForEachDevice(const ReferenceRun& Run, Visit&& Each) {
  for (size_t i = 0; i < Run.Board.I2cDevices.size(); ++i) {
    const I2cDeviceConfig& device = Run.Board.I2cDevices[i];
    if (!device.TenBit) {
      Each(device, Run.Devices.I2cDevices[i]->Saved());
    }
  }
}

// --- byte-refused

void ApplyByteRefused(const FaultPoint& Point, BoardConfig& Board) {
  if (Refuses(Board.I2c, Point.When)) {
    Refuse("the board already refuses byte " + std::to_string(Point.When));
  }
  if (const uint32_t stall = StallsFrom(Board.I2c); stall != 0 && Point.When >= stall) {
    Refuse("the bus stops before byte " + std::to_string(stall) + ", so byte " +
           std::to_string(Point.When) + " never moves");
  }
  Board.I2c.AbortOnBytes.push_back(Point.When);
}

void EnumerateByteRefused(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  const uint64_t seen = Run.Devices.I2c.Saved().BytesSeen;
  for (uint32_t n = 1; n <= seen; ++n) {
    if (!Refuses(Run.Board.I2c, n)) {
      Points.push_back({FaultKind::ByteRefused, 0, n});
    }
  }
}

bool BeforeByteRefused(const FaultPoint& Point, const RunPosition& At) {
  return At.State.Devices->I2c.Bytes < Point.When;
}

// --- bus-stalled

void ApplyBusStalled(const FaultPoint& Point, BoardConfig& Board) {
  if (const uint32_t stall = StallsFrom(Board.I2c); stall != 0) {
    Refuse("the bus already stops before byte " + std::to_string(stall));
  }
  for (const uint32_t refused : Board.I2c.AbortOnBytes) {
    if (refused >= Point.When) {
      Refuse("the board refuses byte " + std::to_string(refused) +
             ", which would never move on a bus stopped before byte " + std::to_string(Point.When));
    }
  }
  Board.I2c.StallFromByte = Point.When;
}

// Byte N held back shows once the module reads the controller after N would have moved.
void EnumerateBusStalled(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  if (StallsFrom(Run.Board.I2c) != 0) {
    return;
  }
  const uint64_t seen = Run.Devices.I2c.Saved().BytesSeen;
  const auto refused = Run.Board.I2c.AbortOnBytes;
  const uint64_t last = refused.empty() ? 0 : *std::max_element(refused.begin(), refused.end());
  for (uint64_t n = last + 1; n <= seen; ++n) {
    Points.push_back({FaultKind::BusStalled, 0, static_cast<uint32_t>(n)});
  }
}

bool BeforeBusStalled(const FaultPoint& Point, const RunPosition& At) {
  // The bus stops before byte N moves, and so before anything queued after byte N - 1.
  return At.State.Devices->I2c.Bytes + 1 < Point.When;
}

// --- device-stops-acknowledging

void ApplyDeviceStops(const FaultPoint& Point, BoardConfig& Board) {
  I2cDeviceConfig& device = DeviceAt(Board, Point.Where);
  if (device.NeverAcknowledges) {
    Refuse("the device at " + tools::HexBytes(Point.Where) + " never acknowledges already");
  }
  if (device.StopsAcknowledgingFrom != 0) {
    Refuse("the device at " + tools::HexBytes(Point.Where) +
           " already stops acknowledging from its " + "transfer " +
           std::to_string(device.StopsAcknowledgingFrom));
  }
  device.StopsAcknowledgingFrom = Point.When;
}

void EnumerateDeviceStops(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  ForEachDevice(Run, [&](const I2cDeviceConfig& Device, const I2cTargetState& State) {
    if (Device.NeverAcknowledges || Device.StopsAcknowledgingFrom != 0) {
      return;
    }
    for (uint32_t n = 1; n <= State.TransfersSeen; ++n) {
      Points.push_back({FaultKind::DeviceStopsAcknowledging, Device.Address, n});
    }
  });
}

bool BeforeDeviceStops(const FaultPoint& Point, const RunPosition& At) {
  const I2cTargetState* device = SavedDevice(At.Board, *At.State.Devices, Point.Where);
  return device != nullptr && device->Transfers < Point.When;
}

// --- controller-never-enables, controller-stays-active

void ApplyNeverEnables(const FaultPoint& Point, BoardConfig& Board) {
  SetFlag(Board.I2c.NeverEnables, Point, "the controller never enables already");
}

void ApplyStaysActive(const FaultPoint& Point, BoardConfig& Board) {
  SetFlag(Board.I2c.StaysActive, Point, "the controller stays active already");
}

template <bool I2cControllerConfig::*Flag>
void EnumerateControllerFlag(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  if (!Run.Bus.I2c.empty() && !(Run.Board.I2c.*Flag)) {
    Points.push_back({Flag == &I2cControllerConfig::NeverEnables
                          ? FaultKind::ControllerNeverEnables
                          : FaultKind::ControllerStaysActive});
  }
}

bool BeforeControllerFlag(const FaultPoint&, const RunPosition& At) {
  return ControllerUntouched(At.State, *At.State.Devices);
}

// --- conversion-never-ends, verified-write-never-takes

void ApplyConversionNeverEnds(const FaultPoint& Point, BoardConfig& Board) {
  I2cDeviceConfig& device = DeviceAt(Board, Point.Where);
  const PmicLayout* layout = LayoutOf(device);
  if (layout == nullptr || !layout->Converter) {
    Refuse("the device at " + tools::HexBytes(Point.Where) + " has no converter");
  }
  SetFlag(device.Conversion.NeverFinishes, Point,
          ("the converter at " + tools::HexBytes(Point.Where) + " never finishes already").c_str());
}

void ApplyVerifiedWriteNeverTakes(const FaultPoint& Point, BoardConfig& Board) {
  I2cDeviceConfig& device = DeviceAt(Board, Point.Where);
  const PmicLayout* layout = LayoutOf(device);
  if (layout == nullptr || !layout->Refusing) {
    Refuse("the device at " + tools::HexBytes(Point.Where) + " has no checked register");
  }
  SetFlag(
      device.RefusesEveryWrite, Point,
      ("the device at " + tools::HexBytes(Point.Where) + " refuses every write already").c_str());
}

// A converter strikes where the device is accessed after a conversion would have ended: where
// the reference saw one end.
void EnumerateConversionNeverEnds(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  ForEachDevice(Run, [&](const I2cDeviceConfig& Device, const I2cTargetState& State) {
    const PmicLayout* layout = LayoutOf(Device);
    if (layout != nullptr && layout->Converter && !Device.Conversion.NeverFinishes &&
        State.Conversion.Finished != 0) {
      Points.push_back({FaultKind::ConversionNeverEnds, Device.Address});
    }
  });
}

// A checked register strikes at the first write of its value the board alone would have taken.
void EnumerateVerifiedWriteNeverTakes(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  ForEachDevice(Run, [&](const I2cDeviceConfig& Device, const I2cTargetState& State) {
    const PmicLayout* layout = LayoutOf(Device);
    if (layout != nullptr && layout->Refusing && !Device.RefusesEveryWrite &&
        State.CheckedWrites > Device.RefusedWrites) {
      Points.push_back({FaultKind::VerifiedWriteNeverTakes, Device.Address});
    }
  });
}

bool BeforeFirstTransfer(const FaultPoint& Point, const RunPosition& At) {
  const I2cTargetState* device = SavedDevice(At.Board, *At.State.Devices, Point.Where);
  return device != nullptr && device->Transfers == 0;
}

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::ByteRefused, "byte-refused", FaultWhere::None, true,
     "the Nth byte moved on the PMIC bus is not acknowledged", ApplyByteRefused,
     EnumerateByteRefused, BeforeByteRefused},
    {FaultKind::DeviceStopsAcknowledging, "device-stops-acknowledging", FaultWhere::Address, true,
     "a fitted device acknowledges nothing from its Nth transfer on", ApplyDeviceStops,
     EnumerateDeviceStops, BeforeDeviceStops},
    {FaultKind::ControllerNeverEnables, "controller-never-enables", FaultWhere::None, false,
     "the PMIC bus controller never shows an enable", ApplyNeverEnables,
     EnumerateControllerFlag<&I2cControllerConfig::NeverEnables>, BeforeControllerFlag},
    {FaultKind::ControllerStaysActive, "controller-stays-active", FaultWhere::None, false,
     "the PMIC bus controller reports activity for ever", ApplyStaysActive,
     EnumerateControllerFlag<&I2cControllerConfig::StaysActive>, BeforeControllerFlag},
    {FaultKind::BusStalled, "bus-stalled", FaultWhere::None, true,
     "the PMIC bus stops moving before its Nth byte", ApplyBusStalled, EnumerateBusStalled,
     BeforeBusStalled},
    {FaultKind::ConversionNeverEnds, "conversion-never-ends", FaultWhere::Address, false,
     "the PMIC's converter stays busy for ever", ApplyConversionNeverEnds,
     EnumerateConversionNeverEnds, BeforeFirstTransfer},
    {FaultKind::VerifiedWriteNeverTakes, "verified-write-never-takes", FaultWhere::Address, false,
     "the PMIC's checked register never takes the value written to it",
     ApplyVerifiedWriteNeverTakes, EnumerateVerifiedWriteNeverTakes, BeforeFirstTransfer},
};

} // namespace

std::span<const FaultKindInfo> BusFaultKinds() {
  return Kinds;
}

I2cDeviceConfig& DeviceAt(BoardConfig& Board, uint32_t Address) {
  for (I2cDeviceConfig& device : Board.I2cDevices) {
    if (device.Address == Address && !device.TenBit) {
      return device;
    }
  }
  Refuse("no device at " + tools::HexBytes(Address) + " on this board");
}

} // namespace sim::faults

#include "sim/FaultPoint.h"

#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "sim/devices/I2cDeviceModels.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <stdexcept>

namespace sim {

namespace {

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::ByteRefused, "byte-refused", false, true,
     "the Nth byte moved on the PMIC bus is not acknowledged"},
    {FaultKind::DeviceStopsAcknowledging, "device-stops-acknowledging", true, true,
     "a fitted device acknowledges nothing from its Nth transfer on"},
    {FaultKind::ControllerNeverEnables, "controller-never-enables", false, false,
     "the PMIC bus controller never shows an enable"},
    {FaultKind::ControllerStaysActive, "controller-stays-active", false, false,
     "the PMIC bus controller reports activity for ever"},
    {FaultKind::BusStalled, "bus-stalled", false, true,
     "the PMIC bus stops moving before its Nth byte"},
    {FaultKind::SemaphoreNeverGranted, "semaphore-never-granted", false, false,
     "the P-Unit never grants the PMIC bus semaphore"},
    {FaultKind::SemaphoreGrantedLate, "semaphore-granted-late", false, false,
     "every grant of the semaphore comes 400 ms after its request, past the time-out"},
    {FaultKind::PadReadsAllOnes, "pad-reads-all-ones", true, true,
     "a pad register the module reads returns all ones for its first k reads (k = 1..6)"},
    {FaultKind::PunitReadsAllOnes, "punit-reads-all-ones", true, true,
     "the Nth sideband read of a P-Unit register gets no answer (all ones)"},
    {FaultKind::TimerFrozen, "timer-frozen", false, true,
     "the PM timer stops counting at its Nth read"},
    {FaultKind::ConversionNeverEnds, "conversion-never-ends", true, false,
     "the PMIC's converter stays busy for ever"},
    {FaultKind::VerifiedWriteNeverTakes, "verified-write-never-takes", true, false,
     "the PMIC's checked register never takes the value written to it"},
    {FaultKind::HobZeroLength, "hob-zero-length", true, false, "a HOB's length reads 0"},
    {FaultKind::HobLengthBelowHeader, "hob-length-below-header", true, false,
     "a HOB's length is 4, below its own 8-byte header"},
    {FaultKind::HobLengthPastEnd, "hob-length-past-end", true, false,
     "a HOB's length steps past the end of the list"},
    {FaultKind::HobNoEndMarker, "hob-no-end-marker", false, false,
     "the list has no end-of-list HOB inside the hand-off memory"},
    {FaultKind::HobDescriptorCutShort, "hob-descriptor-cut-short", true, false,
     "a descriptor HOB's length cannot hold a whole descriptor"},
};

constexpr uint16_t HobLengthBelowHeaderValue = 4;
constexpr uint16_t HobLengthPastEndValue = 0xFFF8;
// GUID HOB header and name, and half a descriptor's header: a descriptor cannot fit.
constexpr uint16_t HobDescriptorCutShortValue = 32;
constexpr uint32_t PadBlockEnd = 0xFED0F000;
constexpr uint32_t PadBlockStart = 0xFED0C000;

bool IsAddressKind(FaultKind Kind) {
  return Kind == FaultKind::DeviceStopsAcknowledging || Kind == FaultKind::PadReadsAllOnes ||
         Kind == FaultKind::PunitReadsAllOnes || Kind == FaultKind::ConversionNeverEnds ||
         Kind == FaultKind::VerifiedWriteNeverTakes;
}

[[noreturn]] void Refuse(const std::string& Why) {
  throw std::invalid_argument(Why);
}

uint32_t ParseNumber(std::string_view Text, std::string_view What) {
  int base = 10;
  if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value, base);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size()) {
    Refuse(std::string(What) + " is not a 32-bit number: '" + std::string(Text) + "'");
  }
  return value;
}

std::string Hex(uint32_t Value) {
  char digits[9];
  const auto end = std::to_chars(digits, digits + sizeof digits, Value, 16).ptr;
  std::string text(digits, end);
  std::transform(text.begin(), text.end(), text.begin(), ::toupper);
  return "0x" + (text.size() % 2 ? "0" + text : text);
}

I2cDeviceConfig& DeviceAt(BoardConfig& Board, uint32_t Address) {
  for (I2cDeviceConfig& device : Board.I2cDevices) {
    if (device.Address == Address && !device.TenBit) {
      return device;
    }
  }
  Refuse("no device at " + Hex(Address) + " on this board");
}

const PmicLayout* LayoutOf(const I2cDeviceConfig& Device) {
  const I2cDeviceModel* model = FindI2cDeviceModel(Device.Model);
  return model != nullptr ? model->Pmic : nullptr;
}

HobEntry& HobAt(BoardConfig& Board, uint32_t Index) {
  if (Index == Board.Hobs.size()) { // a board without one gets one to break
    Board.Hobs.push_back({.What = HobEntry::Kind::Other, .DataLength = 8});
  }
  if (Index >= Board.Hobs.size()) {
    Refuse("no HOB " + std::to_string(Index) + " in this board's list");
  }
  return Board.Hobs[Index];
}

} // namespace

std::span<const FaultKindInfo> FaultKinds() {
  return Kinds;
}

const FaultKindInfo& InfoOf(FaultKind Kind) {
  return Kinds[static_cast<size_t>(Kind)];
}

const FaultKindInfo* FindFaultKind(std::string_view Name) {
  for (const FaultKindInfo& info : Kinds) {
    if (Name == info.Name) {
      return &info;
    }
  }
  return nullptr;
}

std::string FormatFaultPoint(const FaultPoint& Point) {
  const FaultKindInfo& info = InfoOf(Point.Kind);
  std::string text = info.Name;
  if (info.HasWhere) {
    text += ":" + (IsAddressKind(Point.Kind) ? Hex(Point.Where) : std::to_string(Point.Where));
  }
  if (info.HasWhen) {
    text += "@" + std::to_string(Point.When);
  }
  return text;
}

FaultPoint ParseFaultPoint(std::string_view Text) {
  const size_t at = Text.find('@');
  const std::string_view head = Text.substr(0, at);
  const size_t colon = head.find(':');
  const std::string_view name = head.substr(0, colon);
  const FaultKindInfo* info = FindFaultKind(name);
  if (info == nullptr) {
    Refuse("unknown fault kind '" + std::string(name) + "'");
  }
  FaultPoint point{info->Kind};
  if (info->HasWhere != (colon != std::string_view::npos)) {
    Refuse(std::string(info->Name) + (info->HasWhere ? " needs :WHERE" : " takes no :WHERE"));
  }
  if (info->HasWhen != (at != std::string_view::npos)) {
    Refuse(std::string(info->Name) + (info->HasWhen ? " needs @WHEN" : " takes no @WHEN"));
  }
  if (info->HasWhere) {
    point.Where = ParseNumber(head.substr(colon + 1), "WHERE");
  }
  if (info->HasWhen) {
    point.When = ParseNumber(Text.substr(at + 1), "WHEN");
    if (point.When == 0) {
      Refuse(std::string(info->Name) + ": WHEN counts from 1");
    }
  }
  return point;
}

void ApplyFault(const FaultPoint& Point, BoardConfig& Board) {
  if (InfoOf(Point.Kind).HasWhen && Point.When == 0) {
    Refuse(std::string(InfoOf(Point.Kind).Name) + ": WHEN counts from 1");
  }
  switch (Point.Kind) {
  case FaultKind::ByteRefused:
    Board.I2c.AbortOnByte = Point.When;
    break;
  case FaultKind::DeviceStopsAcknowledging:
    DeviceAt(Board, Point.Where).StopsAcknowledgingFrom = Point.When;
    break;
  case FaultKind::ControllerNeverEnables:
    Board.I2c.NeverEnables = true;
    break;
  case FaultKind::ControllerStaysActive:
    Board.I2c.StaysActive = true;
    break;
  case FaultKind::BusStalled:
    Board.I2c.StallFromByte = Point.When;
    break;
  case FaultKind::SemaphoreNeverGranted:
    Board.Punit.NeverGrants = true;
    break;
  case FaultKind::SemaphoreGrantedLate:
    Board.Punit.GrantDelayNs = LateGrantNs;
    break;
  case FaultKind::PadReadsAllOnes:
    if (Point.Where < PadBlockStart || Point.Where >= PadBlockEnd || Point.Where % 4 != 0) {
      Refuse(Hex(Point.Where) + " is not a register of the pad block");
    }
    // A fault adds to what the board already does wrong and never heals it: a register the board
    // itself leaves all ones for more reads stays so, and such a point is not run.
    for (const PadFault& fault : Board.PadFaults) {
      if (fault.Address == Point.Where && fault.Reads >= Point.When) {
        Refuse("the board already returns all ones for the first " + std::to_string(fault.Reads) +
               " reads of " + Hex(Point.Where));
      }
    }
    std::erase_if(Board.PadFaults, [&](const PadFault& F) { return F.Address == Point.Where; });
    Board.PadFaults.push_back({Point.Where, Point.When});
    break;
  case FaultKind::PunitReadsAllOnes:
    if (Point.Where > 0xFF) {
      Refuse(Hex(Point.Where) + " is not a P-Unit register (0x00-0xFF)");
    }
    Board.Punit.ReadsAllOnes.push_back({Point.Where, Point.When});
    break;
  case FaultKind::TimerFrozen:
    Board.PmTimerFrozenFromRead = Point.When;
    break;
  case FaultKind::ConversionNeverEnds: {
    I2cDeviceConfig& device = DeviceAt(Board, Point.Where);
    const PmicLayout* layout = LayoutOf(device);
    if (layout == nullptr || !layout->Converter) {
      Refuse("the device at " + Hex(Point.Where) + " has no converter");
    }
    device.Conversion.NeverFinishes = true;
    break;
  }
  case FaultKind::VerifiedWriteNeverTakes: {
    I2cDeviceConfig& device = DeviceAt(Board, Point.Where);
    const PmicLayout* layout = LayoutOf(device);
    if (layout == nullptr || !layout->Refusing) {
      Refuse("the device at " + Hex(Point.Where) + " has no checked register");
    }
    device.RefusedWrites = RefuseForever;
    break;
  }
  case FaultKind::HobZeroLength:
    HobAt(Board, Point.Where).HobLengthOverride = 0;
    break;
  case FaultKind::HobLengthBelowHeader:
    HobAt(Board, Point.Where).HobLengthOverride = HobLengthBelowHeaderValue;
    break;
  case FaultKind::HobLengthPastEnd:
    HobAt(Board, Point.Where).HobLengthOverride = HobLengthPastEndValue;
    break;
  case FaultKind::HobNoEndMarker:
    if (!Terminated(Board.Hobs)) {
      Refuse("the list has no end marker already");
    }
    Board.Hobs.push_back({.What = HobEntry::Kind::NoEndMarker});
    break;
  case FaultKind::HobDescriptorCutShort: {
    if (Point.Where == Board.Hobs.size()) {
      Board.Hobs.push_back({.What = HobEntry::Kind::PmicDescriptor});
    }
    HobEntry& hob = HobAt(Board, Point.Where);
    if (hob.What != HobEntry::Kind::PmicDescriptor) {
      Refuse("HOB " + std::to_string(Point.Where) + " is not a descriptor HOB");
    }
    hob.HobLengthOverride = HobDescriptorCutShortValue;
    break;
  }
  }
}

namespace {

// The first and last read of every run of PM-timer reads: a run is what lies between two
// accesses the trace keeps, or a stretch of explicit reads of the timer's port.
std::vector<uint32_t> TimerWaitEnds(const std::vector<Access>& Kept, uint16_t TimerPort) {
  std::vector<uint32_t> points;
  uint64_t timerReads = 0;
  uint64_t runStart = 0; // first read of the run being counted, 0 while none
  uint64_t next = 0;     // the sequence number the next kept access would have without gaps
  const auto endRun = [&] {
    if (runStart != 0) {
      points.push_back(static_cast<uint32_t>(runStart));
      if (timerReads != runStart) {
        points.push_back(static_cast<uint32_t>(timerReads));
      }
      runStart = 0;
    }
  };
  for (const Access& access : Kept) {
    if (access.Seq > next) { // dropped reads: all of them the timer's
      if (runStart == 0) {
        runStart = timerReads + 1;
      }
      timerReads += access.Seq - next;
    }
    next = access.Seq + 1;
    if (access.Op == AccessOp::In && access.Address == TimerPort) {
      if (runStart == 0) {
        runStart = timerReads + 1;
      }
      ++timerReads;
      continue;
    }
    endRun();
  }
  endRun();
  return points;
}

} // namespace

std::vector<FaultPoint> EnumerateFaultPoints(const BoardConfig& Board, Soc& Reference,
                                             std::span<const FaultKind> Kinds) {
  const std::vector<Access>& trace = Reference.Bus.GetTrace().Accesses();
  const decode::BusActivity bus = decode::DecodeBus(trace);
  const uint64_t bytes = Reference.I2c.BytesOnBus();
  const bool usedController = !bus.I2c.empty();
  std::vector<FaultPoint> points;
  for (const FaultKind kind : Kinds) {
    const auto add = [&](uint32_t Where, uint32_t When) { points.push_back({kind, Where, When}); };
    switch (kind) {
    case FaultKind::ByteRefused:
    case FaultKind::BusStalled:
      for (uint64_t n = 1; n <= bytes; ++n) {
        add(0, static_cast<uint32_t>(n));
      }
      break;
    case FaultKind::DeviceStopsAcknowledging:
      for (size_t i = 0; i < Board.I2cDevices.size(); ++i) {
        const auto* device = dynamic_cast<const I2cRegisterDevice*>(Reference.I2cDevices[i].get());
        if (device == nullptr || Board.I2cDevices[i].TenBit) {
          continue;
        }
        for (uint32_t n = 1; n <= device->Transfers(); ++n) {
          add(Board.I2cDevices[i].Address, n);
        }
      }
      break;
    case FaultKind::ControllerNeverEnables:
    case FaultKind::ControllerStaysActive:
      if (usedController) {
        add(0, 0);
      }
      break;
    case FaultKind::SemaphoreNeverGranted:
    case FaultKind::SemaphoreGrantedLate:
      if (std::any_of(bus.Holds.begin(), bus.Holds.end(),
                      [](const decode::SemaphoreHold& H) { return H.Requested; })) {
        add(0, 0);
      }
      break;
    case FaultKind::PadReadsAllOnes: {
      std::set<uint32_t> read;
      for (const Access& access : trace) {
        if (access.Op == AccessOp::Read && access.Width == 32 && access.Address >= PadBlockStart &&
            access.Address < PadBlockEnd) {
          read.insert(access.Address);
        }
      }
      for (const uint32_t address : read) {
        uint32_t already = 0; // reads the board itself answers with all ones
        for (const PadFault& fault : Board.PadFaults) {
          if (fault.Address == address) {
            already = std::max(already, fault.Reads);
          }
        }
        for (uint32_t k = already + 1; k <= PadReadsTried; ++k) {
          add(address, k);
        }
      }
      break;
    }
    case FaultKind::PunitReadsAllOnes:
      for (const auto& [reg, reads] : Reference.PUnit.Reads()) {
        for (uint32_t n = 1; n <= reads; ++n) {
          add(reg, n);
        }
      }
      break;
    case FaultKind::TimerFrozen:
      for (const uint32_t n : TimerWaitEnds(trace, PmTimerPort)) {
        add(0, n);
      }
      break;
    case FaultKind::ConversionNeverEnds:
    case FaultKind::VerifiedWriteNeverTakes:
      for (const I2cDeviceConfig& device : Board.I2cDevices) {
        const PmicLayout* layout = LayoutOf(device);
        const bool has = layout != nullptr &&
                         (kind == FaultKind::ConversionNeverEnds ? layout->Converter.has_value()
                                                                 : layout->Refusing.has_value());
        const bool reached =
            std::any_of(bus.I2c.begin(), bus.I2c.end(), [&](const decode::I2cTransaction& T) {
              return T.Device == device.Address && !T.TenBit;
            });
        if (has && reached && !device.TenBit) {
          add(device.Address, 0);
        }
      }
      break;
    case FaultKind::HobZeroLength:
    case FaultKind::HobLengthBelowHeader:
    case FaultKind::HobLengthPastEnd: {
      const size_t count = std::max<size_t>(Board.Hobs.size(), 1);
      for (size_t i = 0; i < count; ++i) {
        add(static_cast<uint32_t>(i), 0);
      }
      break;
    }
    case FaultKind::HobNoEndMarker:
      add(0, 0);
      break;
    case FaultKind::HobDescriptorCutShort: {
      bool any = false;
      for (size_t i = 0; i < Board.Hobs.size(); ++i) {
        if (Board.Hobs[i].What == HobEntry::Kind::PmicDescriptor) {
          add(static_cast<uint32_t>(i), 0);
          any = true;
        }
      }
      if (!any) {
        add(static_cast<uint32_t>(Board.Hobs.size()), 0);
      }
      break;
    }
    }
  }
  return points;
}

} // namespace sim

#include "tools/boardsim/analysis/Activity.h"

#include "sim/decode/BusDecoder.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/LegacyGpioPorts.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PmTimer.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

namespace boardsim {

namespace {

constexpr size_t LaneCount = static_cast<size_t>(Lane::Other) + 1;
constexpr uint32_t ControllerWindowSize = 0x1000;
constexpr uint32_t SidebandWindowSize = 0xC;

bool IsTimerRead(const sim::Access& A) {
  return A.Op == sim::AccessOp::In && A.Address == sim::PmTimerPort;
}

Lane LaneOf(const sim::Access& A) {
  if (A.Op == sim::AccessOp::In || A.Op == sim::AccessOp::Out) {
    if (A.Address == sim::PmTimerPort) {
      return Lane::PmTimer;
    }
    return A.Address - sim::LegacyGpioPortBase < sim::LegacyGpioPortCount ? Lane::LegacyGpio
                                                                          : Lane::Other;
  }
  const sim::decode::BusAddresses where;
  if (A.Address - sim::GpioBlockBase < sim::GpioBlockSize) {
    return Lane::GpioPads;
  }
  if (A.Address - where.I2cRegisters < ControllerWindowSize) {
    return Lane::I2cController;
  }
  if (A.Address - where.SidebandRegisters < SidebandWindowSize) {
    return Lane::Sideband;
  }
  return A.Address - sim::PciWindowBase < sim::PciWindowSize ? Lane::PciConfig : Lane::Other;
}

class Spans {
public:
  void Add(Lane Where, uint64_t FirstSeq, uint64_t LastSeq, uint64_t StartNs, uint64_t EndNs,
           uint64_t Reads, uint64_t Writes) {
    std::optional<ActivitySpan>& open = open_[static_cast<size_t>(Where)];
    if (open && StartNs - open->EndNs > ActivityGapNs) {
      done_.push_back(*open);
      open.reset();
    }
    if (!open) {
      open = ActivitySpan{Where, FirstSeq, LastSeq, StartNs, EndNs};
    }
    open->LastSeq = LastSeq;
    open->EndNs = EndNs;
    open->Reads += Reads;
    open->Writes += Writes;
  }

  std::vector<ActivitySpan> Finish() {
    for (std::optional<ActivitySpan>& open : open_) {
      if (open) {
        done_.push_back(*open);
      }
    }
    std::stable_sort(done_.begin(), done_.end(), [](const ActivitySpan& A, const ActivitySpan& B) {
      return A.FirstSeq < B.FirstSeq;
    });
    return done_;
  }

private:
  std::array<std::optional<ActivitySpan>, LaneCount> open_;
  std::vector<ActivitySpan> done_;
};

} // namespace

std::string_view LaneName(Lane L) {
  constexpr std::array<std::string_view, LaneCount> names = {
      "gpio-pads", "legacy-gpio", "pm-timer", "i2c-controller", "sideband", "pci-config", "other"};
  return names[static_cast<size_t>(L)];
}

std::vector<ActivitySpan> FindActivity(const std::vector<sim::Access>& Trace) {
  Spans spans;
  const sim::Access* last = nullptr; // the last access other than a timer read
  for (const sim::Access& access : Trace) {
    // Timer reads count only as the gaps they leave, kept or not.
    if (IsTimerRead(access)) {
      continue;
    }
    if (last != nullptr && access.Seq > last->Seq + 1) {
      spans.Add(Lane::PmTimer, last->Seq + 1, access.Seq - 1, last->TimeNs, access.TimeNs,
                access.Seq - last->Seq - 1, 0);
    }
    const bool write = access.Op == sim::AccessOp::Write || access.Op == sim::AccessOp::Out;
    spans.Add(LaneOf(access), access.Seq, access.Seq, access.TimeNs, access.TimeNs, !write, write);
    last = &access;
  }
  return spans.Finish();
}

std::vector<sim::Access> ViewInputs(const std::vector<sim::Access>& Trace) {
  std::vector<sim::Access> inputs;
  inputs.reserve(Trace.size());
  std::copy_if(Trace.begin(), Trace.end(), std::back_inserter(inputs),
               [](const sim::Access& A) { return !IsTimerRead(A); });
  return inputs;
}

} // namespace boardsim

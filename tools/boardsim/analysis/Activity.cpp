#include "tools/boardsim/analysis/Activity.h"

#include "sim/decode/BusDecoder.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/LegacyGpioPorts.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PmTimer.h"

#include <algorithm>
#include <array>
#include <optional>

namespace boardsim {

namespace {

constexpr size_t LaneCount = static_cast<size_t>(Lane::Other) + 1;
constexpr uint32_t ControllerWindowSize = 0x1000;
constexpr uint32_t SidebandWindowSize = 0xC;

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
  for (size_t i = 0; i < Trace.size(); ++i) {
    const sim::Access& access = Trace[i];
    if (i > 0 && access.Seq > Trace[i - 1].Seq + 1) {
      // What the trace did not keep are the timer's reads, between the two kept accesses.
      spans.Add(Lane::PmTimer, Trace[i - 1].Seq + 1, access.Seq - 1, Trace[i - 1].TimeNs,
                access.TimeNs, access.Seq - Trace[i - 1].Seq - 1, 0);
    }
    const bool write = access.Op == sim::AccessOp::Write || access.Op == sim::AccessOp::Out;
    spans.Add(LaneOf(access), access.Seq, access.Seq, access.TimeNs, access.TimeNs, !write, write);
  }
  return spans.Finish();
}

} // namespace boardsim

#include "tools/boardsim/analysis/RunPhases.h"

#include "board/BoardTables.h"
#include "common/Format.h"
#include "sim/devices/GpioPads.h"
#include "sim/devices/I2cPciFunction.h"
#include "sim/devices/LegacyGpioPorts.h"
#include "sim/devices/PciConfigWindow.h"
#include "sim/devices/PmTimer.h"
#include "tools/boardsim/analysis/Selection.h"

#include <algorithm>
#include <array>

namespace boardsim {

namespace {

// The pads the GPIO pass writes before its tables: pad 58's configuration and pad 25's fourth
// word (community 0x1000).
constexpr uint32_t Pad58Config = sim::GpioBlockBase + sim::PadOffset(0, 58);
constexpr uint32_t Pad25Word3 = sim::GpioBlockBase + sim::PadOffset(1, 25) + 0xC;
// The pass ends with its second write of pad 51's configuration; the first is its table row's.
constexpr uint32_t LastGpioPassRegister = sim::GpioBlockBase + sim::PadOffset(0, 51);
// After the settle delay the board step clears its last pad (pad 33 of community 0x2000 on the
// reference board; the board's description names it): a read, then a write.
constexpr uint32_t LastPadValue = sim::GpioBlockBase + BoardStepClearAfterSettleCommunity +
                                  sim::PadOffset(0, BoardStepClearAfterSettlePad) + 8;
// The tables' communities, in the order the pass applies them.
constexpr std::array<uint32_t, 3> TableOrder = {0x1000, 0x0000, 0x2000};
// The PMIC bus controller's PCI function, 00:18.5: its bring-up starts in its header.
constexpr uint32_t ControllerConfig = sim::PciWindowBase + (sim::Bdf(0, 0x18, 5) << 12);

bool IsMemory(const sim::Access& A) {
  return A.Op == sim::AccessOp::Read || A.Op == sim::AccessOp::Write;
}

bool IsPad(const sim::Access& A) {
  return IsMemory(A) && A.Address - sim::GpioBlockBase < sim::GpioBlockSize;
}

uint32_t CommunityOf(const sim::Access& A) {
  return (A.Address - sim::GpioBlockBase) / sim::GpioCommunitySize * sim::GpioCommunitySize;
}

size_t TableIndex(uint32_t Community) {
  return static_cast<size_t>(std::find(TableOrder.begin(), TableOrder.end(), Community) -
                             TableOrder.begin());
}

bool IsTimerRead(const sim::Access& A) {
  return A.Op == sim::AccessOp::In && A.Address == sim::PmTimerPort;
}

template <typename Predicate>
std::optional<size_t> FindFrom(const std::vector<sim::Access>& Trace, size_t From, Predicate P) {
  for (size_t i = From; i < Trace.size(); ++i) {
    if (P(Trace[i])) {
      return i;
    }
  }
  return std::nullopt;
}

// The starts of the parts, in order; each runs to the next one's start.
class Starts {
public:
  explicit Starts(const std::vector<sim::Access>& Trace) : trace_(Trace) {}

  void At(size_t Index, PhaseKind Kind, uint32_t Community = 0) {
    Add({Kind, Community, trace_[Index].Seq, 0, trace_[Index].TimeNs, 0});
  }
  void Add(const Phase& Start) {
    const auto after =
        std::upper_bound(starts_.begin(), starts_.end(), Start,
                         [](const Phase& A, const Phase& B) { return A.FirstSeq < B.FirstSeq; });
    starts_.insert(after, Start);
  }

  // Splits the part that holds Seq: Kind from there to ResumeSeq, then the part goes on.
  void Insert(PhaseKind Kind, size_t Index, std::optional<size_t> Resume) {
    const uint64_t seq = trace_[Index].Seq;
    auto holder = std::find_if(starts_.rbegin(), starts_.rend(),
                               [&](const Phase& P) { return P.FirstSeq <= seq; });
    if (holder == starts_.rend()) {
      return;
    }
    const Phase resumed = *holder;
    const auto next = holder.base();
    const bool resumes = Resume && *Resume > Index &&
                         (next == starts_.end() || trace_[*Resume].Seq < next->FirstSeq);
    auto at = starts_.insert(next, {Kind, 0, seq, 0, trace_[Index].TimeNs, 0});
    if (resumes) {
      starts_.insert(at + 1, {resumed.Kind, resumed.Community, trace_[*Resume].Seq, 0,
                              trace_[*Resume].TimeNs, 0});
    }
  }

  std::vector<Phase> Finish(uint64_t EndNs) const {
    std::vector<Phase> phases = starts_;
    for (size_t i = 0; i < phases.size(); ++i) {
      const bool last = i + 1 == phases.size();
      phases[i].EndNs = last ? std::max(EndNs, phases[i].StartNs) : phases[i + 1].StartNs;
      phases[i].LastSeq = last ? trace_.back().Seq : phases[i + 1].FirstSeq - 1;
    }
    return phases;
  }

private:
  const std::vector<sim::Access>& trace_;
  std::vector<Phase> starts_;
};

// Selection's transactions lead: detection's identification reads, each under its own hold.
// The access number of selection's last access, when it made any from FromSeq on.
std::optional<uint64_t> SelectionEnd(const sim::decode::BusActivity& Bus, uint64_t FromSeq) {
  std::optional<uint64_t> end;
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    if (t.FirstSeq < FromSeq) {
      continue;
    }
    if (!IsIdentificationRead(t)) {
      break;
    }
    end = t.LastSeq;
    for (const sim::decode::SemaphoreHold& h : Bus.Holds) {
      const uint64_t from = h.Requested ? h.RequestSeq : h.AcquireSeq;
      if (h.Released && from <= t.FirstSeq && h.ReleaseSeq >= t.LastSeq) {
        end = h.ReleaseSeq;
      }
    }
  }
  return end;
}

// Selection (when it made accesses) from Index on, then what follows it.
void AddSelection(Starts& Parts, const std::vector<sim::Access>& Trace,
                  const sim::decode::BusActivity& Bus, size_t Index, PhaseKind Then) {
  const std::optional<uint64_t> end = SelectionEnd(Bus, Trace[Index].Seq);
  if (!end) {
    Parts.At(Index, Then);
    return;
  }
  Parts.At(Index, PhaseKind::Selection);
  if (const auto after =
          FindFrom(Trace, Index, [&](const sim::Access& A) { return A.Seq > *end; })) {
    Parts.At(*after, Then);
  }
}

void AddBringUp(Starts& Parts, const std::vector<sim::Access>& Trace,
                const sim::decode::BusActivity& Bus, size_t From) {
  const auto start = FindFrom(Trace, From, [](const sim::Access& A) {
    return IsMemory(A) && A.Address - ControllerConfig < sim::I2cPciFunction::WindowSize;
  });
  if (!start) {
    return;
  }
  const uint64_t seq = Trace[*start].Seq;
  const auto first =
      std::find_if(Bus.I2c.begin(), Bus.I2c.end(), [&](const auto& T) { return T.FirstSeq > seq; });
  std::optional<size_t> resume;
  if (first != Bus.I2c.end()) {
    resume =
        FindFrom(Trace, *start, [&](const sim::Access& A) { return A.Seq == first->FirstSeq; });
  }
  Parts.Insert(PhaseKind::BringUp, *start, resume);
}

// The settle delay: the timer reads just before the board step's read of its last pad.
void AddSettle(Starts& Parts, const std::vector<sim::Access>& Trace, size_t From) {
  std::optional<size_t> last;
  for (size_t i = From; i < Trace.size(); ++i) {
    if (Trace[i].Op == sim::AccessOp::Read && Trace[i].Address == LastPadValue) {
      last = i;
    }
  }
  if (!last || *last == 0) {
    return;
  }
  size_t before = *last - 1;
  while (before > From && IsTimerRead(Trace[before])) {
    --before;
  }
  if (before + 1 < *last) {
    Parts.At(before + 1, PhaseKind::Settle);
  } else if (Trace[*last].Seq > Trace[before].Seq + 1) {
    // The timer reads were not kept: the wait starts after the access before it.
    Parts.Add({PhaseKind::Settle, 0, Trace[before].Seq + 1, 0, Trace[before].TimeNs, 0});
  } else {
    return;
  }
  Parts.At(*last, PhaseKind::BoardStep);
}

// A boot, as far as its trace goes. False when the trace holds no GPIO pass at all.
bool FindBootPhases(Starts& Parts, const std::vector<sim::Access>& Trace,
                    const sim::decode::BusActivity& Bus) {
  const auto early = FindFrom(
      Trace, 0, [](const sim::Access& A) { return IsPad(A) && A.Op == sim::AccessOp::Write; });
  if (!early) {
    return false;
  }
  Parts.At(0, PhaseKind::Entry);
  Parts.At(*early, PhaseKind::EarlyPads);
  const auto legacy = FindFrom(Trace, *early, [](const sim::Access& A) {
    return A.Op == sim::AccessOp::Out &&
           A.Address - sim::LegacyGpioPortBase < sim::LegacyGpioPortCount;
  });
  if (!legacy) {
    return true;
  }
  Parts.At(*legacy, PhaseKind::GpioFixedPads);
  auto table = FindFrom(Trace, *legacy, [](const sim::Access& A) {
    return IsPad(A) && A.Address != Pad58Config && A.Address != Pad25Word3;
  });
  size_t current = table ? TableIndex(CommunityOf(Trace[*table])) : 0;
  if (table) {
    Parts.At(*table, PhaseKind::GpioTable, TableOrder[current]);
  }
  for (size_t i = table.value_or(Trace.size()); i < Trace.size(); ++i) {
    if (!IsPad(Trace[i])) {
      continue;
    }
    const size_t index = TableIndex(CommunityOf(Trace[i]));
    if (index > current) {
      current = index;
      Parts.At(i, PhaseKind::GpioTable, TableOrder[current]);
    } else if (index < current) {
      Parts.At(i, PhaseKind::GpioLatePads);
      break;
    }
  }
  std::vector<size_t> lastWrites;
  for (size_t i = 0; i < Trace.size(); ++i) {
    if (Trace[i].Op == sim::AccessOp::Write && Trace[i].Address == LastGpioPassRegister) {
      lastWrites.push_back(i);
    }
  }
  if (lastWrites.size() < 2 || lastWrites.back() + 1 >= Trace.size()) {
    return true;
  }
  const size_t step = lastWrites.back() + 1;
  AddSelection(Parts, Trace, Bus, step, PhaseKind::BoardStep);
  AddSettle(Parts, Trace, step);
  AddBringUp(Parts, Trace, Bus, step);
  return true;
}

} // namespace

std::string PhaseName(const Phase& P) {
  switch (P.Kind) {
  case PhaseKind::Entry:
    return "entry";
  case PhaseKind::EarlyPads:
    return "early pads";
  case PhaseKind::GpioFixedPads:
    return "GPIO pass: I/O ports, pads 58 and 25";
  case PhaseKind::GpioTable:
    return "GPIO pass: table " + tools::Hex(P.Community, 4);
  case PhaseKind::GpioLatePads:
    return "GPIO pass: pads after the tables";
  case PhaseKind::Selection:
    return "selection";
  case PhaseKind::BringUp:
    return "controller bring-up";
  case PhaseKind::BoardStep:
    return "board step";
  case PhaseKind::Settle:
    return "settle delay";
  case PhaseKind::SlotCall:
    return "slot call";
  case PhaseKind::Accesses:
    return "accesses";
  }
  return {};
}

std::vector<Phase> FindPhases(const std::vector<sim::Access>& Trace,
                              const sim::decode::BusActivity& Bus, uint64_t EndNs,
                              std::optional<uint64_t> CallStartNs) {
  if (Trace.empty()) {
    return {};
  }
  Starts parts(Trace);
  if (CallStartNs) {
    const auto call =
        FindFrom(Trace, 0, [&](const sim::Access& A) { return A.TimeNs >= *CallStartNs; });
    if (call != 0) {
      parts.At(0, PhaseKind::Selection);
    }
    if (call) {
      parts.At(*call, PhaseKind::SlotCall);
    }
    AddBringUp(parts, Trace, Bus, 0);
  } else if (!FindBootPhases(parts, Trace, Bus)) {
    AddSelection(parts, Trace, Bus, 0, PhaseKind::SlotCall);
    AddBringUp(parts, Trace, Bus, 0);
  }
  return parts.Finish(EndNs);
}

const Phase* PhaseOf(const std::vector<Phase>& Phases, uint64_t Seq) {
  for (const Phase& phase : Phases) {
    if (phase.FirstSeq <= Seq && Seq <= phase.LastSeq) {
      return &phase;
    }
  }
  return nullptr;
}

} // namespace boardsim

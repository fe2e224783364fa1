// A simulated SoC installed behind the module's register primitives, and a compact way to state
// the access sequence a test expects.
#pragma once

#include "sim/Soc.h"
#include "tools/run/HostRun.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace testsupport {

struct Expected {
  sim::AccessOp Op;
  unsigned Width;
  uint32_t Address;
  uint32_t Value;
  bool operator==(const Expected&) const = default;
};

inline Expected R8(uint32_t A, uint32_t V) {
  return {sim::AccessOp::Read, 8, A, V};
}
inline Expected R16(uint32_t A, uint32_t V) {
  return {sim::AccessOp::Read, 16, A, V};
}
inline Expected R32(uint32_t A, uint32_t V) {
  return {sim::AccessOp::Read, 32, A, V};
}
inline Expected W16(uint32_t A, uint32_t V) {
  return {sim::AccessOp::Write, 16, A, V};
}
inline Expected W32(uint32_t A, uint32_t V) {
  return {sim::AccessOp::Write, 32, A, V};
}
inline Expected Out32(uint32_t Port, uint32_t V) {
  return {sim::AccessOp::Out, 32, Port, V};
}

// One busy-wait of DelayMicroseconds(Microseconds), standing for its run of PM-timer reads.
inline Expected Wait(uint32_t Microseconds) {
  return {sim::AccessOp::In, 0, 0x408, Microseconds};
}

inline std::ostream& operator<<(std::ostream& Os, const Expected& E) {
  if (E.Width == 0) {
    return Os << "wait " << E.Value << " us";
  }
  return Os << sim::FormatAccess({0, 0, E.Op, static_cast<uint8_t>(E.Width), E.Address, E.Value});
}

// The delays the module asks for. A run of timer reads is the delay whose tick count it just
// passed: a wait of N us ends at the first reading more than ticks(N) counts after its start,
// and overshoots by at most one reading, far less than the gap to the next longer delay.
inline uint32_t DelayFromTicks(uint32_t ElapsedTicks) {
  constexpr uint32_t Delays[] = {100000, 100, 50, 10, 2, 1, 0};
  for (uint32_t us : Delays) {
    if (static_cast<uint64_t>(us) * 3579545 / 1000000 < ElapsedTicks) {
      return us;
    }
  }
  return 0;
}

// The trace with every run of PM-timer reads folded into one Wait step.
inline std::vector<Expected> Compact(const std::vector<Expected>& Accesses) {
  std::vector<Expected> out;
  for (size_t i = 0; i < Accesses.size();) {
    const Expected& a = Accesses[i];
    if (a.Op != sim::AccessOp::In || a.Address != 0x408) {
      out.push_back(a);
      ++i;
      continue;
    }
    size_t end = i;
    while (end + 1 < Accesses.size() && Accesses[end + 1].Op == sim::AccessOp::In &&
           Accesses[end + 1].Address == 0x408) {
      ++end;
    }
    const uint32_t ticks = (Accesses[end].Value - a.Value) & 0xFFFFFF;
    out.push_back(Wait(DelayFromTicks(ticks)));
    i = end + 1;
  }
  return out;
}

// Appends Count copies of Steps.
inline void Repeat(std::vector<Expected>& Out, size_t Count, const std::vector<Expected>& Steps) {
  for (size_t i = 0; i < Count; ++i) {
    Out.insert(Out.end(), Steps.begin(), Steps.end());
  }
}

// The accesses from index First on, without sequence numbers and times.
inline std::vector<Expected> AccessesFrom(const sim::Board& Board, size_t First = 0,
                                          size_t Count = SIZE_MAX) {
  std::vector<Expected> out;
  const auto& all = Board.GetTrace().Accesses();
  for (size_t i = First; i < all.size() && out.size() < Count; ++i) {
    out.push_back({all[i].Op, all[i].Width, all[i].Address, all[i].Value});
  }
  return out;
}

class BoardTest : public ::testing::Test {
protected:
  // Builds the board from Config and installs it; call again after changing Config.
  sim::Soc& Install() {
    installation.reset();
    soc = std::make_unique<sim::Soc>(Config);
    installation = std::make_unique<tools::BoardInstallation>(soc->Bus);
    return *soc;
  }
  std::vector<Expected> Trace(size_t First = 0, size_t Count = SIZE_MAX) const {
    return AccessesFrom(soc->Bus, First, Count);
  }
  // The trace with waits folded (see Compact).
  std::vector<Expected> Steps() const { return Compact(Trace()); }
  // Forgets what was traced so far, to look at the next operation alone.
  void ClearTrace() { soc->Bus.GetTrace().Clear(); }

  sim::BoardConfig Config;
  std::unique_ptr<sim::Soc> soc;
  std::unique_ptr<tools::BoardInstallation> installation;
};

} // namespace testsupport

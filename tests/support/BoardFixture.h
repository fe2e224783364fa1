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

inline std::ostream& operator<<(std::ostream& Os, const Expected& E) {
  return Os << sim::FormatAccess({0, 0, E.Op, static_cast<uint8_t>(E.Width), E.Address, E.Value});
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

  sim::BoardConfig Config;
  std::unique_ptr<sim::Soc> soc;
  std::unique_ptr<tools::BoardInstallation> installation;
};

} // namespace testsupport

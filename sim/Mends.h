// The table of the module's departures under faults from what its design states, and of the
// writes its design states for a fault (sim/mends.json, built in). The table of docs/mends.md is
// rendered from the same file (scripts/mends_table.py); the write check of sim/FaultOutcome applies
// the rules its rows list, and nothing else: a write no row accounts for is a bad write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// A rule of the write check, with what it needs: "controller-recovery", "other-selections",
// "release-known-bits" (Address: the sideband data register), "pmic-writes" (Device and Writes).
struct MendExpect {
  std::string Rule;
  uint32_t Address = 0;
  uint16_t Device = 0;
  std::vector<std::pair<uint8_t, uint8_t>> Writes; // register, value
};

struct MendRow {
  std::string Id;
  std::string Kind; // "mend", "choice" or "stated"
  std::string Where;
  std::string Stated;
  std::string Module;
  std::string Why;
  std::vector<std::string> Tests;
  std::vector<MendExpect> Expect;
};

// Every row, in the file's order. The file is checked when it is first read; a broken one throws
// std::logic_error (a build defect, not bad input).
const std::vector<MendRow>& Mends();

// Every entry of a rule across the rows, in order; empty when no row lists it.
std::vector<const MendExpect*> MendRules(std::string_view Rule);

} // namespace sim

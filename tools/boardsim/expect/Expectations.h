// What a run must show, read from an expectation file (--expect; its schema is
// tools/boardsim/schema/expect.schema.json): each item names a value the run's JSON document
// holds (what --json prints, with --pads for the pads named), so an expectation reads what the
// user sees there.
#pragma once

#include "tools/boardsim/analysis/PadView.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// One field of a pad after the run: a decoded field ("mode", "direction", "level", ...) as the
// pad detail's "fields" give it, or a raw register ("config", "value").
struct PadExpectation {
  PadRef Pad{};
  std::string Field;            // as the file names it, which verdicts repeat
  nlohmann::ordered_json Value; // a number, "high"/"low", true/false, or null (pull)
};

// The pad detail's name of a field: pad tables elsewhere call the mode "function" (0 GPIO, else
// the native function), and a file written from one of them reads as it was meant.
inline std::string DetailField(const std::string& Field) {
  return Field == "function" ? "mode" : Field;
}

// A PMIC bus transaction that must be among the run's. Value absent: any value.
struct TransactionExpectation {
  bool Read = false;
  uint32_t Device = 0;
  uint32_t Register = 0;
  std::optional<uint32_t> Value;
  bool Aborted = false;
};

// The last write to a PMIC register that was not aborted must have written Value.
struct RegisterExpectation {
  uint32_t Device = 0;
  uint32_t Register = 0;
  uint32_t Value = 0;
};

// A fault given (a --fault point as typed, or a board file's fault by its key), and whether it
// must have struck.
struct FaultExpectation {
  std::string Fault;
  bool Struck = true;
};

struct Bound {
  std::optional<uint64_t> Min;
  std::optional<uint64_t> Max;
};

struct Expectations {
  std::string Path;
  // run: the status, by name or value; op: what the slot returned, as its text or its value.
  std::optional<nlohmann::ordered_json> Status;
  std::optional<nlohmann::ordered_json> Returned;
  std::vector<PadExpectation> Pads;
  std::vector<TransactionExpectation> Transactions;
  std::vector<RegisterExpectation> Registers;
  std::vector<FaultExpectation> Faults;
  std::optional<Bound> TimeNs;
  std::optional<Bound> StackUsedBytes;

  // Every pad named, once each, in the order first named.
  std::vector<PadRef> PadsNamed() const;
};

enum class ExpectingOf { Run, Op };

// Path read and checked; anything it cannot mean is bad input (tools::ToolError, exit 2) in one
// line naming the file, the line and the column. A run's file states a status and no returned
// value, an op's the other way round.
Expectations LoadExpectations(const std::string& Path, ExpectingOf Command);

} // namespace boardsim

// The views of a run as Python sees them: transactions, faults, board-step items, pads and the
// access trace. The types are the tool's own models (analysis/, sim/decode/), bound as they are;
// the pads and the trace are drawn from the kept board only when asked for.
#pragma once

#include "tools/boardsim/python/PySession.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace boardsim::python {

// One fault a run was given (a board file's, by its key, or a fault point as typed) and where
// it struck.
struct FaultView {
  std::string Fault;
  std::optional<std::string> Value; // a board file's: the value its key was given
  bool FromBoard = false;
  std::optional<sim::Strike> Struck;
  std::string Where; // as the summary says it: "struck at access 1234 (0.411 ms)"
};

std::vector<FaultView> FaultViews(const RunFaults& Faults);

// "0x0000:93" in, a pad out; PadError otherwise, naming Argument.
PadRef PadOf(const std::string& Name, const char* Argument);

// run.pads: the pads a run accessed (or those its pads argument named), by "0x0000:93"; any
// other pad can be looked up too.
struct PadMap {
  std::shared_ptr<BoardSession> Session;
};

// run.trace: every access of the run in order, made into Python objects one at a time; the
// whole trace is had when the view is first asked for (BoardSession::WholeTrace).
class TraceView {
public:
  explicit TraceView(std::shared_ptr<BoardSession> Session);
  size_t Size() const { return accesses_.size(); }
  const std::vector<sim::Access>& Accesses() const { return accesses_; }

private:
  std::shared_ptr<BoardSession> session_;
  const std::vector<sim::Access>& accesses_;
};

void AddViews(pybind11::module_& Module);

} // namespace boardsim::python

// The expectations against what a run showed: its JSON document (render/SummaryJson.h) and the
// detail of the pads they name (render/JsonViews.h, PadsJson), the values --json prints.
#pragma once

#include "tools/boardsim/expect/Expectations.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace boardsim {

enum class VerdictState { Met, Unmet, NotChecked };

// One expectation's outcome: what names it ("pad 0x0000:93 mode"), the value stated and the one
// the run showed, as the verdict line writes them.
struct Verdict {
  std::string Name;
  std::string Expected;
  std::string Actual;
  VerdictState State = VerdictState::Met;
};

// Document: run's or op's; PadDetail: the array PadsJson gives for Expectations::PadsNamed().
// One verdict per expectation, in the file's order by kind.
std::vector<Verdict> CheckExpectations(const Expectations& Expected,
                                       const nlohmann::ordered_json& Document,
                                       const nlohmann::ordered_json& PadDetail);

} // namespace boardsim

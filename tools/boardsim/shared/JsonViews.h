// The views of a run as JSON values, for --json: the same structures the text summary formats,
// with numbers as numbers and absent values as null.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/shared/BoardStep.h"
#include "tools/boardsim/shared/Selection.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

nlohmann::ordered_json BoardJson(const std::string& Name, const std::string& Path);
nlohmann::ordered_json ModuleJson(const std::optional<std::string>& Image);
nlohmann::ordered_json SelectionJson(const SelectionView& Selection);
nlohmann::ordered_json StepsJson(const std::vector<StepItem>& Steps);
nlohmann::ordered_json BusJson(const sim::decode::BusActivity& Bus);
nlohmann::ordered_json AccessJson(const sim::Access& Access);

// A run that did not return: the reason, without the image runner's own list of accesses, and
// the last accesses from the trace (in both forms alike; PM-timer reads included, which the tool's
// trace does not keep beyond its last few).
nlohmann::ordered_json FailureJson(const std::string& Failure, const sim::Trace& Trace);

} // namespace boardsim

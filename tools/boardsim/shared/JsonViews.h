// The views of a run as JSON values, for --json: the same structures the text summary formats,
// with numbers as numbers and absent values as null.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/shared/Activity.h"
#include "tools/boardsim/shared/BoardStep.h"
#include "tools/boardsim/shared/PadView.h"
#include "tools/boardsim/shared/RunPhases.h"
#include "tools/boardsim/shared/Selection.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// An object with room for its members, filled by appending: a member is moved into place and
// never copied. Objects that grow member by member are copied whole each time their storage
// moves (an ordered object's keys are const), which for a document holding the pad detail costs
// more than building it.
class JsonMembers {
public:
  explicit JsonMembers(size_t Count);
  // Key must not be in the object yet.
  JsonMembers& Add(const char* Key, nlohmann::ordered_json Value);
  nlohmann::ordered_json Done();

private:
  nlohmann::ordered_json object_;
};

nlohmann::ordered_json BoardJson(const std::string& Name, const std::string& Path);
nlohmann::ordered_json ModuleJson(const std::optional<std::string>& Image);
nlohmann::ordered_json SelectionJson(const SelectionView& Selection);
nlohmann::ordered_json StepsJson(const std::vector<StepItem>& Steps);
nlohmann::ordered_json BusJson(const sim::decode::BusActivity& Bus);
nlohmann::ordered_json AccessJson(const sim::Access& Access);
// --pads: each pad's registers, fields, accesses and table row; as JSON text (compact), which
// a page carries as it is.
nlohmann::ordered_json PadsJson(const std::vector<PadRecord>& Pads);
std::string PadsText(const std::vector<PadRecord>& Pads);
// The parts of the run and each device's stretches of accesses, for the timeline.
nlohmann::ordered_json TimelineJson(const std::vector<Phase>& Phases,
                                    const std::vector<ActivitySpan>& Activity);

// A run that did not return: the reason, without the image runner's own list of accesses, and
// the last accesses from the trace (in both forms alike; PM-timer reads included, which the tool's
// trace does not keep beyond its last few).
nlohmann::ordered_json FailureJson(const std::string& Failure, const sim::Trace& Trace);

} // namespace boardsim

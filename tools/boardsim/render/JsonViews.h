// The views of a run as JSON values, for --json: the same structures the text summary formats,
// with numbers as numbers and absent values as null.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/analysis/Activity.h"
#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/analysis/BusWire.h"
#include "tools/boardsim/analysis/PadView.h"
#include "tools/boardsim/analysis/RunPhases.h"
#include "tools/boardsim/analysis/Selection.h"

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

// The board's description is null when its file gives none.
nlohmann::ordered_json BoardJson(const std::string& Name, const std::string& Path,
                                 const std::string& Description);
nlohmann::ordered_json ModuleJson(const std::optional<std::string>& Image);
nlohmann::ordered_json SelectionJson(const SelectionView& Selection);
nlohmann::ordered_json StepsJson(const std::vector<StepItem>& Steps);
// Every transaction, semaphore hold and sideband message; with Wire, when each transaction left
// the wire (wire_end_ns, null where it is not known).
nlohmann::ordered_json BusJson(const sim::decode::BusActivity& Bus, const WireEnds& Wire);
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

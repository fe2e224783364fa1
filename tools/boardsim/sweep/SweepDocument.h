// A sweep's --json document read back into the report it was rendered from, as far as a merge
// needs it: the targets, the kinds asked for, every point and its outcome, the commands that
// reproduce the failures, the shard and the times. The board descriptions themselves are not in
// the document, and nothing rendered from the report needs them.
#pragma once

#include "tools/boardsim/sweep/SweepReport.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace boardsim {

// A document that is no sweep's, or not whole.
class SweepDocumentError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

SweepReport ReadSweepDocument(const nlohmann::ordered_json& Document);

} // namespace boardsim

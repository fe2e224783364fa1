// JSON for people to read: an object or array that fits on its line stays on it, others open one
// member a line, as the repository's hand-written JSON does.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace boardsim {

std::string CompactJson(const nlohmann::ordered_json& Value);

} // namespace boardsim

#include "tools/boardsim/render/CompactJson.h"

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

constexpr size_t LineWidth = 100;

// One line: ", " and ": " between members, as people write it.
std::string OneLine(const json& Value) {
  if (Value.is_object() && !Value.empty()) {
    std::string text = "{";
    for (const auto& [key, member] : Value.items()) {
      text += (text.size() > 1 ? ", " : "") + json(key).dump() + ": " + OneLine(member);
    }
    return text + "}";
  }
  if (Value.is_array() && !Value.empty()) {
    std::string text = "[";
    for (const json& item : Value) {
      text += (text.size() > 1 ? ", " : "") + OneLine(item);
    }
    return text + "]";
  }
  return Value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Value at Indent, after Lead characters of its own line (a key) are already written.
std::string Lines(const json& Value, size_t Indent, size_t Lead) {
  const std::string line = OneLine(Value);
  if (Indent + Lead + line.size() <= LineWidth || !Value.is_structured() || Value.empty()) {
    return line;
  }
  const std::string inner(Indent + 2, ' ');
  std::string text = Value.is_object() ? "{\n" : "[\n";
  bool first = true;
  for (const auto& [key, member] : Value.items()) {
    const std::string name = Value.is_object() ? json(key).dump() + ": " : "";
    text += (first ? "" : ",\n") + inner + name + Lines(member, Indent + 2, name.size());
    first = false;
  }
  return text + "\n" + std::string(Indent, ' ') + (Value.is_object() ? "}" : "]");
}

} // namespace

std::string CompactJson(const json& Value) {
  return Lines(Value, 0, 0);
}

} // namespace boardsim

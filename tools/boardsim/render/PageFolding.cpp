#include "tools/boardsim/render/PageFolding.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

// Items Alike in a row, from PageFoldFrom on, become the one item Fold makes of the run's first,
// its last and its length; shorter runs are kept as they are.
template <typename Same, typename Merge>
void FoldRuns(const std::vector<const json*>& Items, Same Alike, Merge Fold,
              std::vector<json>& Out) {
  for (size_t first = 0; first < Items.size();) {
    size_t end = first + 1;
    while (end < Items.size() && Alike(*Items[first], *Items[end])) {
      ++end;
    }
    if (end - first < PageFoldFrom) {
      for (size_t i = first; i < end; ++i) {
        Out.push_back(*Items[i]);
      }
    } else {
      Out.push_back(Fold(*Items[first], *Items[end - 1], end - first));
    }
    first = end;
  }
}

// A message without what tells alike ones apart.
json MessageKey(const json& Message) {
  json key = Message;
  key.erase("time_ns");
  key.erase("seq");
  return key;
}

json FoldMessages(const json& Messages) {
  std::vector<const json*> items;
  for (const json& message : Messages) {
    items.push_back(&message);
  }
  std::vector<json> folded;
  FoldRuns(
      items, [](const json& A, const json& B) { return MessageKey(A) == MessageKey(B); },
      [](const json& First, const json& Last, size_t Count) {
        json one = First;
        one["repeat"] = Count;
        one["last_ns"] = Last["time_ns"];
        one["last_seq"] = Last["seq"];
        return one;
      },
      folded);
  return json(std::move(folded));
}

// Stretches in a row within each lane; the result in the order of their starts.
json FoldActivity(const json& Stretches) {
  std::map<std::string, std::vector<const json*>> lanes;
  for (const json& stretch : Stretches) {
    lanes[stretch["lane"].get<std::string>()].push_back(&stretch);
  }
  std::vector<json> folded;
  for (const auto& [lane, items] : lanes) {
    FoldRuns(
        items,
        [](const json& A, const json& B) {
          return A["reads"] == B["reads"] && A["writes"] == B["writes"];
        },
        [](const json& First, const json& Last, size_t Count) {
          json one = First;
          one["last_seq"] = Last["last_seq"];
          one["end_ns"] = Last["end_ns"];
          one["reads"] = First["reads"].get<uint64_t>() * Count;
          one["writes"] = First["writes"].get<uint64_t>() * Count;
          one["stretches"] = Count;
          return one;
        },
        folded);
  }
  std::stable_sort(folded.begin(), folded.end(), [](const json& A, const json& B) {
    return A["start_ns"].get<uint64_t>() < B["start_ns"].get<uint64_t>();
  });
  return json(std::move(folded));
}

void Fold(json& Node) {
  if (Node.is_array()) {
    for (json& item : Node) {
      Fold(item);
    }
    return;
  }
  if (!Node.is_object()) {
    return;
  }
  for (auto& [key, value] : Node.items()) {
    if (key == "sideband_messages" && value.is_array()) {
      value = FoldMessages(value);
    } else if (key == "timeline" && value.is_object() && value.contains("activity")) {
      value["activity"] = FoldActivity(value["activity"]);
    } else {
      Fold(value);
    }
  }
}

} // namespace

json FoldForPage(const json& Document) {
  json folded = Document;
  Fold(folded);
  return folded;
}

} // namespace boardsim

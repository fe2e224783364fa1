#include "tools/boardsim/render/PageFolding.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

// A message without what tells alike ones apart.
json MessageKey(const json& Message) {
  json key = Message;
  key.erase("time_ns");
  key.erase("seq");
  return key;
}

json FoldMessages(const json& Messages) {
  json folded = json::array();
  for (size_t first = 0; first < Messages.size();) {
    const json key = MessageKey(Messages[first]);
    size_t end = first + 1;
    while (end < Messages.size() && MessageKey(Messages[end]) == key) {
      ++end;
    }
    if (end - first < PageFoldFrom) {
      for (size_t i = first; i < end; ++i) {
        folded.push_back(Messages[i]);
      }
    } else {
      json one = Messages[first];
      one["repeat"] = end - first;
      one["last_ns"] = Messages[end - 1]["time_ns"];
      one["last_seq"] = Messages[end - 1]["seq"];
      folded.push_back(one);
    }
    first = end;
  }
  return folded;
}

// Stretches in a row within each lane; the result in the order of their starts.
json FoldActivity(const json& Stretches) {
  std::map<std::string, std::vector<const json*>> lanes;
  for (const json& stretch : Stretches) {
    lanes[stretch["lane"].get<std::string>()].push_back(&stretch);
  }
  std::vector<json> folded;
  for (const auto& [lane, items] : lanes) {
    for (size_t first = 0; first < items.size();) {
      const json& head = *items[first];
      size_t end = first + 1;
      while (end < items.size() && (*items[end])["reads"] == head["reads"] &&
             (*items[end])["writes"] == head["writes"]) {
        ++end;
      }
      if (end - first < PageFoldFrom) {
        for (size_t i = first; i < end; ++i) {
          folded.push_back(*items[i]);
        }
      } else {
        json one = head;
        const json& last = *items[end - 1];
        one["last_seq"] = last["last_seq"];
        one["end_ns"] = last["end_ns"];
        one["reads"] = head["reads"].get<uint64_t>() * (end - first);
        one["writes"] = head["writes"].get<uint64_t>() * (end - first);
        one["stretches"] = end - first;
        folded.push_back(one);
      }
      first = end;
    }
  }
  std::stable_sort(folded.begin(), folded.end(), [](const json& A, const json& B) {
    return A["start_ns"].get<uint64_t>() < B["start_ns"].get<uint64_t>();
  });
  json out = json::array();
  for (json& item : folded) {
    out.push_back(std::move(item));
  }
  return out;
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

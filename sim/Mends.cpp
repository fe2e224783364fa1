#include "sim/Mends.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace sim {

extern const char* const MendsJson;

namespace {

constexpr std::string_view KnownRules[] = {"controller-recovery", "other-selections",
                                           "release-known-bits", "pmic-writes"};

uint32_t Number(const nlohmann::json& Text, uint32_t Max) {
  const std::string text = Text.get<std::string>();
  size_t end = 0;
  const unsigned long value = std::stoul(text, &end, 0);
  if (end != text.size() || value > Max) {
    throw std::logic_error("sim/mends.json: '" + text + "' is out of range");
  }
  return static_cast<uint32_t>(value);
}

MendExpect ReadExpect(const nlohmann::json& Entry) {
  MendExpect expect;
  expect.Rule = Entry.at("rule").get<std::string>();
  if (std::find(std::begin(KnownRules), std::end(KnownRules), expect.Rule) ==
      std::end(KnownRules)) {
    throw std::logic_error("sim/mends.json: unknown rule '" + expect.Rule + "'");
  }
  if (Entry.contains("address")) {
    expect.Address = Number(Entry.at("address"), 0xFFFFFFFF);
  }
  if (Entry.contains("device")) {
    expect.Device = static_cast<uint16_t>(Number(Entry.at("device"), 0x7F));
  }
  for (const nlohmann::json& write : Entry.value("writes", nlohmann::json::array())) {
    expect.Writes.emplace_back(static_cast<uint8_t>(Number(write.at(0), 0xFF)),
                               static_cast<uint8_t>(Number(write.at(1), 0xFF)));
  }
  return expect;
}

std::vector<MendRow> ReadMends() {
  std::vector<MendRow> rows;
  try {
    const nlohmann::json document = nlohmann::json::parse(MendsJson);
    for (const nlohmann::json& row : document.at("rows")) {
      const auto text = [&](const char* Key) { return row.at(Key).get<std::string>(); };
      MendRow mend{text("id"),
                   text("kind"),
                   text("where"),
                   text("stated"),
                   text("module"),
                   text("why"),
                   row.at("tests").get<std::vector<std::string>>(),
                   {}};
      for (const nlohmann::json& entry : row.value("expect", nlohmann::json::array())) {
        mend.Expect.push_back(ReadExpect(entry));
      }
      rows.push_back(std::move(mend));
    }
  } catch (const nlohmann::json::exception& broken) {
    throw std::logic_error(std::string("sim/mends.json: ") + broken.what());
  }
  return rows;
}

} // namespace

const std::vector<MendRow>& Mends() {
  static const std::vector<MendRow> rows = ReadMends();
  return rows;
}

std::vector<const MendExpect*> MendRules(std::string_view Rule) {
  std::vector<const MendExpect*> found;
  for (const MendRow& row : Mends()) {
    for (const MendExpect& expect : row.Expect) {
      if (expect.Rule == Rule) {
        found.push_back(&expect);
      }
    }
  }
  return found;
}

} // namespace sim

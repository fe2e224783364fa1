#include "tools/boardsim/shared/JsonViews.h"

#include "sim/devices/GpioPads.h"
#include "tools/run/Hex.h"
#include "tools/run/Printable.h"

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

// As many as the image runner's failure message lists.
constexpr size_t LastAccessCount = 10;

template <typename T> json OrNull(bool Present, T Value) {
  return Present ? json(Value) : json(nullptr);
}

template <typename T> json OrNull(const std::optional<T>& Value) {
  return Value ? json(*Value) : json(nullptr);
}

} // namespace

// The names the documents use for the views' enumerations.
NLOHMANN_JSON_SERIALIZE_ENUM(SelectionSource, {{SelectionSource::Detected, "detected"},
                                               {SelectionSource::DescriptorHob, "descriptor-hob"},
                                               {SelectionSource::Fallback, "fallback"},
                                               {SelectionSource::Unfinished, "unfinished"}})
NLOHMANN_JSON_SERIALIZE_ENUM(StepKind, {{StepKind::PmicRead, "pmic-read"},
                                        {StepKind::PmicWrite, "pmic-write"},
                                        {StepKind::PadRead, "pad-read"},
                                        {StepKind::PadDriven, "pad-driven"}})

json BoardJson(const std::string& Name, const std::string& Path) {
  return {{"name", tools::Printable(Name)}, {"path", tools::Printable(Path)}};
}

json ModuleJson(const std::optional<std::string>& Image) {
  return Image ? json{{"form", "image"}, {"image", tools::Printable(*Image)}}
               : json{{"form", "host"}};
}

json SelectionJson(const SelectionView& Selection) {
  json reads = json::array();
  for (const IdentificationAnswer& read : Selection.Reads) {
    reads.push_back({{"variant", read.Variant},
                     {"device", read.Device},
                     {"register", read.Register},
                     {"answer", OrNull(read.Answer)},
                     {"accepted", read.Accepted},
                     {"cut_short", read.CutShort}});
  }
  return {{"variant", OrNull(Selection.VariantId)},
          {"source", Selection.Source},
          {"identification_reads", reads}};
}

json StepsJson(const std::vector<StepItem>& Steps) {
  json items = json::array();
  for (const StepItem& item : Steps) {
    json entry = {{"kind", item.Kind}, {"time_ns", item.TimeNs}, {"seq", item.Seq}};
    if (item.Kind == StepKind::PmicRead || item.Kind == StepKind::PmicWrite) {
      entry.update(
          {{"device", item.Device}, {"register", item.Register}, {"value", OrNull(item.Value)}});
    } else {
      entry.update({{"community", item.Community},
                    {"pad", item.Pad},
                    {"level", item.High ? "high" : "low"}});
    }
    items.push_back(entry);
  }
  return items;
}

json BusJson(const sim::decode::BusActivity& Bus) {
  json transactions = json::array();
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    transactions.push_back({{"time_ns", t.TimeNs},
                            {"read", t.Read},
                            {"device", t.Device},
                            {"ten_bit", t.TenBit},
                            {"register", OrNull(t.HasRegister, t.Register)},
                            {"value", OrNull(t.HasValue, t.Value)},
                            {"stopped", t.Stopped},
                            {"aborted", t.Aborted},
                            {"under_semaphore", UnderSemaphore(Bus, t.TimeNs)},
                            {"first_seq", t.FirstSeq},
                            {"last_seq", t.LastSeq},
                            {"last_ns", t.LastNs}});
  }
  json holds = json::array();
  for (const sim::decode::SemaphoreHold& h : Bus.Holds) {
    holds.push_back({{"requested", h.Requested},
                     {"request_ns", OrNull(h.Requested, h.RequestNs)},
                     {"granted", h.Granted},
                     {"acquire_ns", OrNull(h.Granted, h.AcquireNs)},
                     {"released", h.Released},
                     {"release_ns", OrNull(h.Released, h.ReleaseNs)},
                     {"request_seq", OrNull(h.Requested, h.RequestSeq)},
                     {"acquire_seq", OrNull(h.Granted, h.AcquireSeq)},
                     {"release_seq", OrNull(h.Released, h.ReleaseSeq)}});
  }
  json messages = json::array();
  for (const sim::decode::SidebandMessage& m : Bus.Sideband) {
    messages.push_back({{"time_ns", m.TimeNs},
                        {"opcode", m.Opcode},
                        {"write", m.IsWrite()},
                        {"port", m.Port},
                        {"register", m.Register},
                        {"byte_enables", m.ByteEnables},
                        {"value", OrNull(m.HasValue, m.Value)},
                        {"value_width", m.ValueWidth},
                        {"seq", m.Seq}});
  }
  return {
      {"transactions", transactions}, {"semaphore_holds", holds}, {"sideband_messages", messages}};
}

json AccessJson(const sim::Access& Access) {
  return {{"seq", Access.Seq},     {"time_ns", Access.TimeNs},  {"op", sim::OpName(Access.Op)},
          {"width", Access.Width}, {"address", Access.Address}, {"value", Access.Value}};
}

namespace {

json WordsJson(const PadWords& Words) {
  json fields = nullptr;
  if (Words.Config && Words.Value) {
    const PadFields f = DecodePad(*Words.Config, *Words.Value);
    fields = {{"mode", f.Mode},           {"gpio", f.Mode == 0},
              {"direction", f.Direction}, {"level", f.High ? "high" : "low"},
              {"pull_bits", f.PullBits},  {"pull", OrNull(f.PullPattern)},
              {"nibble", f.Nibble}};
  }
  return {{"config", OrNull(Words.Config)}, {"value", OrNull(Words.Value)}, {"fields", fields}};
}

json RowJson(const PadRecord& Record) {
  if (!Record.Row) {
    return nullptr;
  }
  const PadConfigEntry& e = Record.Row->Entry;
  return {{"row", Record.Row->Row}, {"direction", e.Direction}, {"output_level", e.OutputLevel},
          {"mode", e.Mode},         {"nibble", e.ConfigNibble}, {"pull", e.Pull}};
}

} // namespace

json PadsJson(const std::vector<PadRecord>& Pads) {
  json pads = json::array();
  for (const PadRecord& record : Pads) {
    json accesses = json::array();
    for (const PadAccess& a : record.Accesses) {
      json access = AccessJson(a.Access);
      access.update({{"offset", a.Access.Address % sim::GpioPadSize & ~3u},
                     {"part", a.Part},
                     {"row", OrNull(a.Row)}});
      accesses.push_back(access);
    }
    pads.push_back({{"community", tools::Hex(record.Pad.Community, 4)},
                    {"pad", record.Pad.Pad},
                    {"config_address", ConfigAddress(record.Pad)},
                    {"value_address", ValueAddress(record.Pad)},
                    {"before", WordsJson(record.Before)},
                    {"after", WordsJson(record.After)},
                    {"changed", record.Changed()},
                    {"table_row", RowJson(record)},
                    {"accesses", accesses}});
  }
  return pads;
}

json TimelineJson(const std::vector<Phase>& Phases, const std::vector<ActivitySpan>& Activity) {
  json phases = json::array();
  for (const Phase& p : Phases) {
    phases.push_back({{"name", PhaseName(p)},
                      {"first_seq", p.FirstSeq},
                      {"last_seq", p.LastSeq},
                      {"start_ns", p.StartNs},
                      {"end_ns", p.EndNs}});
  }
  json spans = json::array();
  for (const ActivitySpan& s : Activity) {
    spans.push_back({{"lane", LaneName(s.Where)},
                     {"first_seq", s.FirstSeq},
                     {"last_seq", s.LastSeq},
                     {"start_ns", s.StartNs},
                     {"end_ns", s.EndNs},
                     {"reads", s.Reads},
                     {"writes", s.Writes}});
  }
  return {{"phases", phases}, {"activity", spans}};
}

json FailureJson(const std::string& Failure, const sim::Trace& Trace) {
  json last = json::array();
  for (const sim::Access& access : Trace.Recent(LastAccessCount)) {
    last.push_back(AccessJson(access));
  }
  return {{"failure", Failure.substr(0, Failure.find('\n'))}, {"last_accesses", last}};
}

} // namespace boardsim

#include "tools/boardsim/shared/JsonViews.h"

#include "common/Printable.h"

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
    json entry = {{"kind", item.Kind}, {"time_ns", item.TimeNs}};
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
                            {"under_semaphore", UnderSemaphore(Bus, t.TimeNs)}});
  }
  json holds = json::array();
  for (const sim::decode::SemaphoreHold& h : Bus.Holds) {
    holds.push_back({{"requested", h.Requested},
                     {"request_ns", OrNull(h.Requested, h.RequestNs)},
                     {"granted", h.Granted},
                     {"acquire_ns", OrNull(h.Granted, h.AcquireNs)},
                     {"released", h.Released},
                     {"release_ns", OrNull(h.Released, h.ReleaseNs)}});
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
                        {"value_width", m.ValueWidth}});
  }
  return {
      {"transactions", transactions}, {"semaphore_holds", holds}, {"sideband_messages", messages}};
}

json AccessJson(const sim::Access& Access) {
  return {{"seq", Access.Seq},     {"time_ns", Access.TimeNs},  {"op", sim::OpName(Access.Op)},
          {"width", Access.Width}, {"address", Access.Address}, {"value", Access.Value}};
}

json FailureJson(const std::string& Failure, const sim::Trace& Trace) {
  json last = json::array();
  for (const sim::Access& access : Trace.Recent(LastAccessCount)) {
    last.push_back(AccessJson(access));
  }
  return {{"failure", Failure.substr(0, Failure.find('\n'))}, {"last_accesses", last}};
}

} // namespace boardsim

#include "tools/boardsim/render/JsonViews.h"

#include "common/Format.h"
#include "common/Printable.h"
#include "sim/devices/GpioPads.h"
#include "tools/boardsim/analysis/BusHolds.h"

#include <algorithm>
#include <charconv>
#include <string_view>

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

JsonMembers::JsonMembers(size_t Count) : object_(json::object()) {
  object_.get_ref<json::object_t&>().reserve(Count);
}

JsonMembers& JsonMembers::Add(const char* Key, json Value) {
  object_.get_ref<json::object_t&>().emplace_back(Key, std::move(Value));
  return *this;
}

json JsonMembers::Done() {
  return std::move(object_);
}

// The names the documents use for the views' enumerations.
NLOHMANN_JSON_SERIALIZE_ENUM(SelectionSource, {{SelectionSource::Detected, "detected"},
                                               {SelectionSource::DescriptorHob, "descriptor-hob"},
                                               {SelectionSource::Fallback, "fallback"},
                                               {SelectionSource::Unfinished, "unfinished"}})
NLOHMANN_JSON_SERIALIZE_ENUM(StepKind, {{StepKind::PmicRead, "pmic-read"},
                                        {StepKind::PmicWrite, "pmic-write"},
                                        {StepKind::PadRead, "pad-read"},
                                        {StepKind::PadDriven, "pad-driven"}})

json BoardJson(const std::string& Name, const std::string& Path, const std::string& Description) {
  return {{"name", tools::Printable(Name)},
          {"path", tools::Printable(Path)},
          {"description", OrNull(!Description.empty(), tools::Printable(Description))}};
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
      entry.update({{"community", tools::Hex(item.Community, 4)},
                    {"pad", item.Pad},
                    {"level", item.High ? "high" : "low"}});
    }
    items.push_back(entry);
  }
  return items;
}

json BusJson(const sim::decode::BusActivity& Bus, const WireEnds& Wire) {
  json transactions = json::array();
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    const auto end = Wire.find(t.TimeNs);
    transactions.push_back(
        {{"time_ns", t.TimeNs},
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
         {"last_ns", t.LastNs},
         {"wire_end_ns", end != Wire.end() ? json(end->second) : json(nullptr)}});
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

// The pad detail as JSON text, written as it goes: it is most of a page, and a document built of
// the library's values costs over a thousand instructions per value (twelve thousand for a boot)
// where this costs a tenth. A string that needs escaping is written by the library.
class JsonText {
public:
  JsonText& Open(char Bracket) {
    Separate();
    text_ += Bracket;
    first_ = true;
    return *this;
  }
  JsonText& Close(char Bracket) {
    text_ += Bracket;
    first_ = false;
    return *this;
  }
  JsonText& Key(const char* Name) {
    Separate();
    text_ += '"';
    text_ += Name;
    text_ += "\":";
    first_ = true; // the value follows without a comma
    return *this;
  }
  JsonText& Number(uint64_t Value) {
    Separate();
    char digits[24];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, Value).ptr);
    return *this;
  }
  JsonText& Number(const std::optional<uint32_t>& Value) { return Value ? Number(*Value) : Null(); }
  JsonText& Bool(bool Value) {
    Separate();
    text_ += Value ? "true" : "false";
    return *this;
  }
  JsonText& Null() {
    Separate();
    text_ += "null";
    return *this;
  }
  JsonText& String(std::string_view Value) {
    Separate();
    const bool plain = std::all_of(Value.begin(), Value.end(), [](char C) {
      return C >= ' ' && C != '"' && C != '\\' && static_cast<unsigned char>(C) < 0x80;
    });
    if (plain) {
      text_ += '"';
      text_ += Value;
      text_ += '"';
    } else {
      text_ += json(Value).dump(-1, ' ', false, json::error_handler_t::replace);
    }
    return *this;
  }
  std::string Done() { return std::move(text_); }

private:
  void Separate() {
    if (!first_) {
      text_ += ',';
    }
    first_ = false;
  }
  std::string text_;
  bool first_ = true;
};

void WriteWords(JsonText& Out, const PadWords& Words) {
  Out.Open('{').Key("config").Number(Words.Config).Key("value").Number(Words.Value);
  Out.Key("fields");
  if (Words.Config && Words.Value) {
    const PadFields f = DecodePad(*Words.Config, *Words.Value);
    Out.Open('{').Key("mode").Number(f.Mode).Key("gpio").Bool(f.Mode == 0);
    Out.Key("direction").Number(f.Direction).Key("level").String(f.High ? "high" : "low");
    Out.Key("pull_bits").Number(f.PullBits).Key("pull").Number(f.PullPattern);
    Out.Key("nibble").Number(f.Nibble).Close('}');
  } else {
    Out.Null();
  }
  Out.Close('}');
}

void WriteRow(JsonText& Out, const PadRecord& Record) {
  if (!Record.Row) {
    Out.Null();
    return;
  }
  const PadConfigEntry& e = Record.Row->Entry;
  Out.Open('{').Key("row").Number(Record.Row->Row).Key("direction").Number(e.Direction);
  Out.Key("output_level").Number(e.OutputLevel).Key("mode").Number(e.Mode);
  Out.Key("nibble").Number(e.ConfigNibble).Key("pull").Number(e.Pull).Close('}');
}

} // namespace

std::string PadsText(const std::vector<PadRecord>& Pads) {
  JsonText out;
  out.Open('[');
  for (const PadRecord& record : Pads) {
    out.Open('{').Key("community").String(tools::Hex(record.Pad.Community, 4));
    out.Key("pad").Number(record.Pad.Pad).Key("config_address").Number(ConfigAddress(record.Pad));
    out.Key("value_address").Number(ValueAddress(record.Pad));
    WriteWords(out.Key("before"), record.Before);
    WriteWords(out.Key("after"), record.After);
    out.Key("changed").Bool(record.Changed());
    WriteRow(out.Key("table_row"), record);
    out.Key("accesses").Open('[');
    for (const PadAccess& a : record.Accesses) {
      out.Open('{').Key("seq").Number(a.Access.Seq).Key("time_ns").Number(a.Access.TimeNs);
      out.Key("op").String(sim::OpName(a.Access.Op));
      out.Key("offset").Number(a.Access.Address % sim::GpioPadSize & ~3u);
      out.Key("value").Number(a.Access.Value).Key("part").String(a.Part);
      out.Key("row").Number(a.Row).Close('}');
    }
    out.Close(']').Close('}');
  }
  return out.Close(']').Done();
}

json PadsJson(const std::vector<PadRecord>& Pads) {
  return json::parse(PadsText(Pads));
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

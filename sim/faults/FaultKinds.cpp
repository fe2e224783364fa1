#include "sim/faults/FaultKinds.h"

#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "sim/faults/FaultFamily.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace sim {

namespace {

constexpr size_t KindCount = static_cast<size_t>(FaultKind::HobDescriptorCutShort) + 1;

// Every family's entries, in the order of FaultKind.
const std::array<FaultKindInfo, KindCount>& Table() {
  static const std::array<FaultKindInfo, KindCount> table = [] {
    std::array<FaultKindInfo, KindCount> kinds{};
    std::array<bool, KindCount> filled{};
    for (const auto family : {faults::BusFaultKinds, faults::PunitFaultKinds, faults::PadFaultKinds,
                              faults::TimerFaultKinds, faults::HobFaultKinds}) {
      for (const FaultKindInfo& info : family()) {
        const auto at = static_cast<size_t>(info.Kind);
        if (filled.at(at)) {
          throw std::logic_error(std::string("fault kind ") + info.Name + " listed twice");
        }
        kinds[at] = info;
        filled[at] = true;
      }
    }
    if (std::find(filled.begin(), filled.end(), false) != filled.end()) {
      throw std::logic_error("a fault kind that no family lists");
    }
    return kinds;
  }();
  return table;
}

uint32_t ParseNumber(std::string_view Text, std::string_view What) {
  int base = 10;
  if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value, base);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size()) {
    faults::Refuse(std::string(What) + " is not a 32-bit number: '" + std::string(Text) + "'");
  }
  return value;
}

} // namespace

namespace faults {

void SetFlag(bool& Flag, const FaultPoint&, const char* Already) {
  if (Flag) {
    Refuse(Already);
  }
  Flag = true;
}

} // namespace faults

std::span<const FaultKindInfo> FaultKinds() {
  return Table();
}

const FaultKindInfo& InfoOf(FaultKind Kind) {
  return Table().at(static_cast<size_t>(Kind));
}

const FaultKindInfo* FindFaultKind(std::string_view Name) {
  for (const FaultKindInfo& info : Table()) {
    if (Name == info.Name) {
      return &info;
    }
  }
  return nullptr;
}

std::string FaultKindNames() {
  std::string names;
  for (const FaultKindInfo& info : Table()) {
    names += (names.empty() ? "" : ", ") + std::string(info.Name);
  }
  return names;
}

std::string FormatFaultPoint(const FaultPoint& Point) {
  const FaultKindInfo& info = InfoOf(Point.Kind);
  std::string text = info.Name;
  if (info.HasWhere()) {
    text += ":" + (info.Where == FaultWhere::Address ? tools::HexBytes(Point.Where)
                                                     : std::to_string(Point.Where));
  }
  if (info.HasWhen) {
    text += "@" + std::to_string(Point.When);
  }
  return text;
}

FaultPoint ParseFaultPoint(std::string_view Text) {
  const size_t at = Text.find('@');
  const std::string_view head = Text.substr(0, at);
  const size_t colon = head.find(':');
  const std::string_view name = head.substr(0, colon);
  const FaultKindInfo* info = FindFaultKind(name);
  if (info == nullptr) {
    faults::Refuse("unknown fault kind '" + std::string(name) + "' (kinds: " + FaultKindNames() +
                   ")");
  }
  FaultPoint point{info->Kind};
  if (info->HasWhere() != (colon != std::string_view::npos)) {
    faults::Refuse(std::string(info->Name) +
                   (info->HasWhere() ? " needs :WHERE" : " takes no :WHERE"));
  }
  if (info->HasWhen != (at != std::string_view::npos)) {
    faults::Refuse(std::string(info->Name) + (info->HasWhen ? " needs @WHEN" : " takes no @WHEN"));
  }
  if (info->HasWhere()) {
    point.Where = ParseNumber(head.substr(colon + 1), "WHERE");
  }
  if (info->HasWhen) {
    point.When = ParseNumber(Text.substr(at + 1), "WHEN");
    if (point.When == 0) {
      faults::Refuse(std::string(info->Name) + ": WHEN counts from 1");
    }
  }
  return point;
}

void ApplyFault(const FaultPoint& Point, BoardConfig& Board) {
  const FaultKindInfo& info = InfoOf(Point.Kind);
  if (info.HasWhen && Point.When == 0) {
    faults::Refuse(std::string(info.Name) + ": WHEN counts from 1");
  }
  info.Apply(Point, Board);
}

std::vector<FaultPoint> EnumerateFaultPoints(const BoardConfig& Board, Soc& Reference,
                                             std::span<const FaultKind> Kinds) {
  const std::vector<Access>& trace = Reference.Bus.GetTrace().Accesses();
  const decode::BusActivity bus = decode::DecodeBus(trace);
  const ReferenceRun run{Board, Reference, trace, bus};
  std::vector<FaultPoint> points;
  for (const FaultKind kind : Kinds) {
    InfoOf(kind).Enumerate(run, points);
  }
  return points;
}

std::optional<Strike> StruckIn(const FaultPoint& Point, const BoardConfig& Config,
                               const StrikeLog& Log) {
  const FaultKindInfo& info = InfoOf(Point.Kind);
  if (info.StruckIn != nullptr) {
    return info.StruckIn(Point, Config, Log);
  }
  const Strike* strike = Log.Find(Point);
  return strike != nullptr ? std::optional(*strike) : std::nullopt;
}

FaultReach::FaultReach(const BoardConfig& Board, std::span<const Access> Reference)
    : board_(Board) {
  for (const Access& access : Reference) {
    if (access.Op == AccessOp::Read) {
      firstRead_.try_emplace(access.Address, access.Seq);
    }
  }
}

bool FaultReach::Before(const FaultPoint& Point, const BoardState& State) const {
  if (State.Devices == nullptr) {
    return false;
  }
  return InfoOf(Point.Kind).Before(Point, {board_, State, firstRead_});
}

} // namespace sim

#include "tools/boardsim/analysis/PadView.h"

#include "common/Format.h"
#include "gpio/PadTables.h"
#include "sim/devices/GpioPads.h"

#include <algorithm>
#include <map>

namespace boardsim {

namespace {

using tools::Hex;

constexpr uint32_t ValueOffset = PadValueOffset;
constexpr uint32_t NoAnswer = 0xFFFFFFFFu;

// Configuration register fields, as the pad engine merges them.
constexpr uint32_t ModeMask = 0x7;
constexpr uint32_t PullShift = 7;
constexpr uint32_t PullMask = 0xF;
constexpr uint32_t NibbleShift = 24;
constexpr uint32_t NibbleMask = 0xF;
// Value register fields.
constexpr uint32_t LevelBit = 0x1;
constexpr uint32_t DirectionMask = 0x6;
// Bits 10-7 that each Pull value 0-5 leaves: one of bits 7 and 8, and bit 10, 9 or neither.
constexpr uint32_t PullPatternBits[] = {0b1001, 0b1010, 0b0101, 0b0110, 0b0001, 0b0010};

struct CommunityTable {
  uint32_t Community;
  const PadConfigEntry* Rows;
  uint32_t Count;
  const char* Name;
};
constexpr CommunityTable Tables[] = {
    {0x0000, PadTable0000, PadTable0000Count, "PadTable0000"},
    {0x1000, PadTable1000, PadTable1000Count, "PadTable1000"},
    {0x2000, PadTable2000, PadTable2000Count, "PadTable2000"},
};

const CommunityTable& TableOf(uint32_t Community) {
  return Tables[Community / sim::GpioCommunitySize];
}

std::optional<PadTableRow> RowOf(const PadRef& Pad) {
  const CommunityTable& table = TableOf(Pad.Community);
  for (uint32_t row = 0; row < table.Count; ++row) {
    if (table.Rows[row].PadIndex == Pad.Pad) {
      return PadTableRow{row, table.Rows[row]};
    }
  }
  return std::nullopt;
}

size_t IndexOf(const PadRef& Pad) {
  return Pad.Community / sim::GpioCommunitySize * sim::GpioPadsPerCommunity + Pad.Pad;
}

bool ParseNumber(const std::string& Text, uint32_t& Out) {
  const bool hex = Text.starts_with("0x") || Text.starts_with("0X");
  const std::string digits = hex ? Text.substr(2) : Text;
  if (digits.empty() || digits.size() > 8 ||
      !std::all_of(digits.begin(), digits.end(),
                   [&](char C) { return hex ? std::isxdigit(C) != 0 : std::isdigit(C) != 0; })) {
    return false;
  }
  Out = static_cast<uint32_t>(std::stoul(digits, nullptr, hex ? 16 : 10));
  return true;
}

// What a trace alone tells of a register: the value its first access found, when that was a read
// that got an answer; and the value it was left with.
void FollowRegister(const sim::Access& A, bool First, std::optional<uint32_t>& Before,
                    std::optional<uint32_t>& After) {
  const bool answered = A.Op == sim::AccessOp::Write || A.Value != NoAnswer;
  if (First && A.Op == sim::AccessOp::Read && answered) {
    Before = A.Value;
  }
  if (answered) {
    After = A.Value;
  }
}

PadRecord Untouched(const PadRef& Pad) {
  PadRecord record;
  record.Pad = Pad;
  return record;
}

} // namespace

const char* TableName(uint32_t Community) {
  return TableOf(Community).Name;
}

std::vector<PadState> SnapshotPads(const sim::GpioPads& Gpio) {
  std::vector<PadState> pads;
  for (uint32_t community = 0; community < sim::GpioCommunityCount; ++community) {
    for (uint32_t pad = 0; pad < sim::GpioPadsPerCommunity; ++pad) {
      const uint32_t offset = sim::PadOffset(community, pad);
      pads.push_back({Gpio.Peek(offset), Gpio.Peek(offset + 8)});
    }
  }
  return pads;
}

PadChanges ComparePads(const std::vector<PadState>& Before, const std::vector<PadState>& After) {
  PadChanges changes;
  for (size_t i = 0; i < Before.size() && i < After.size(); ++i) {
    changes.Changed += Before[i].Config != After[i].Config || Before[i].Value != After[i].Value;
    changes.Configuration += Before[i].Config != After[i].Config;
    changes.Direction += ((Before[i].Value ^ After[i].Value) & DirectionMask) != 0;
    changes.Level += ((Before[i].Value ^ After[i].Value) & LevelBit) != 0;
  }
  return changes;
}

bool ParsePadRef(const std::string& Text, PadRef& Out, std::string& Error) {
  const size_t colon = Text.find(':');
  uint32_t community = 0;
  uint32_t pad = 0;
  if (colon == std::string::npos || !ParseNumber(Text.substr(0, colon), community) ||
      !ParseNumber(Text.substr(colon + 1), pad)) {
    Error = "a pad is COMMUNITY:PAD, such as 0x0000:93";
    return false;
  }
  if (community % sim::GpioCommunitySize != 0 ||
      community >= sim::GpioCommunityCount * sim::GpioCommunitySize) {
    Error = "the community is 0x0000, 0x1000 or 0x2000";
    return false;
  }
  if (pad >= sim::GpioPadsPerCommunity) {
    Error = "a community's pads are 0 to " + std::to_string(sim::GpioPadsPerCommunity - 1);
    return false;
  }
  Out = {community, pad};
  return true;
}

std::string FormatPadRef(const PadRef& Pad) {
  return Hex(Pad.Community, 4) + ":" + std::to_string(Pad.Pad);
}

uint32_t ConfigAddress(const PadRef& Pad) {
  return sim::GpioBlockBase + Pad.Community + Pad.Pad * sim::GpioPadSize;
}

uint32_t ValueAddress(const PadRef& Pad) {
  return ConfigAddress(Pad) + ValueOffset;
}

PadFields DecodePad(uint32_t Config, uint32_t Value) {
  PadFields fields{.Mode = Config & ModeMask,
                   .Direction = Value & DirectionMask,
                   .High = (Value & LevelBit) != 0,
                   .PullBits = (Config >> PullShift) & PullMask,
                   .PullPattern = std::nullopt,
                   .Nibble = (Config >> NibbleShift) & NibbleMask};
  for (uint32_t pull = 0; pull < std::size(PullPatternBits); ++pull) {
    if (fields.PullBits == PullPatternBits[pull]) {
      fields.PullPattern = pull;
    }
  }
  return fields;
}

void KeepChanged(std::vector<PadRecord>& Records) {
  std::erase_if(Records, [](const PadRecord& R) { return !R.Changed(); });
}

bool PadRecord::Changed() const {
  const auto differs = [](const std::optional<uint32_t>& A, const std::optional<uint32_t>& B) {
    return A && B && *A != *B;
  };
  return differs(Before.Config, After.Config) || differs(Before.Value, After.Value);
}

std::vector<PadRecord> ViewPads(const std::vector<sim::Access>& Trace,
                                const std::vector<Phase>& Phases,
                                const std::vector<PadState>& Before,
                                const std::vector<PadState>& After,
                                const std::vector<PadRef>& Wanted) {
  std::map<size_t, PadRecord> touched; // by community and number
  std::vector<std::string> names;
  for (const Phase& phase : Phases) {
    names.push_back(PhaseName(phase));
  }
  for (const sim::Access& access : Trace) {
    const uint32_t offset = access.Address - sim::GpioBlockBase;
    if ((access.Op != sim::AccessOp::Read && access.Op != sim::AccessOp::Write) ||
        offset >= sim::GpioBlockSize) {
      continue;
    }
    const PadRef pad{offset / sim::GpioCommunitySize * sim::GpioCommunitySize,
                     offset % sim::GpioCommunitySize / sim::GpioPadSize};
    PadRecord& record = touched.try_emplace(IndexOf(pad), Untouched(pad)).first->second;
    const Phase* part = PhaseOf(Phases, access.Seq);
    PadAccess entry{access, part ? names[static_cast<size_t>(part - Phases.data())] : "run",
                    std::nullopt};
    if (part && part->Kind == PhaseKind::GpioTable && part->Community == pad.Community) {
      if (const auto row = RowOf(pad)) {
        entry.Row = row->Row;
      }
    }
    const uint32_t within = offset % sim::GpioPadSize & ~3u;
    if (within == 0 || within == ValueOffset) {
      const bool first =
          std::none_of(record.Accesses.begin(), record.Accesses.end(),
                       [&](const PadAccess& A) { return A.Access.Address == access.Address; });
      PadWords& before = record.Before;
      PadWords& after = record.After;
      FollowRegister(access, first, within == 0 ? before.Config : before.Value,
                     within == 0 ? after.Config : after.Value);
    }
    record.Accesses.push_back(entry);
  }

  std::vector<PadRef> pads = Wanted;
  if (pads.empty()) {
    for (const auto& [index, record] : touched) {
      pads.push_back(record.Pad);
    }
  }
  std::vector<PadRecord> view;
  for (const PadRef& pad : pads) {
    if (std::any_of(view.begin(), view.end(), [&](const PadRecord& R) { return R.Pad == pad; })) {
      continue;
    }
    const auto found = touched.find(IndexOf(pad));
    PadRecord record = found != touched.end() ? found->second : Untouched(pad);
    if (IndexOf(pad) < Before.size() && IndexOf(pad) < After.size()) {
      record.Before = {Before[IndexOf(pad)].Config, Before[IndexOf(pad)].Value};
      record.After = {After[IndexOf(pad)].Config, After[IndexOf(pad)].Value};
    }
    record.Row = RowOf(pad);
    view.push_back(std::move(record));
  }
  return view;
}

} // namespace boardsim

// The HOB-list family: a list handed over with a broken length, a cut-short descriptor or no end.
// The list is in memory before the run starts, so these points strike before its first access;
// a fault strikes where the module's walk reaches the HOB it breaks, when the module asks for
// the list, and a HOB the walk never reaches is no point.
#include "sim/HobWalk.h"
#include "sim/faults/FaultFamily.h"

#include <algorithm>

namespace sim::faults {

namespace {

constexpr uint16_t HobLengthBelowHeaderValue = 4;
constexpr uint16_t HobLengthPastEndValue = 0xFFF8;
// GUID HOB header and name, and half a descriptor's header: a descriptor cannot fit.
constexpr uint16_t HobDescriptorCutShortValue = 32;

HobEntry& HobAt(BoardConfig& Board, uint32_t Index) {
  if (Index == Board.Hobs.size()) { // a board without one gets one to break
    Board.Hobs.push_back({.What = HobEntry::Kind::Other, .DataLength = 8});
  }
  if (Index >= Board.Hobs.size()) {
    Refuse("no HOB " + std::to_string(Index) + " in this board's list");
  }
  HobEntry& hob = Board.Hobs[Index];
  if (hob.HobLengthOverride) {
    Refuse("the board already gives HOB " + std::to_string(Index) + " the length " +
           std::to_string(*hob.HobLengthOverride));
  }
  return hob;
}

template <uint16_t Length> void ApplyLength(const FaultPoint& Point, BoardConfig& Board) {
  HobAt(Board, Point.Where).HobLengthOverride = Length;
}

void ApplyNoEndMarker(const FaultPoint&, BoardConfig& Board) {
  if (!Terminated(Board.Hobs)) {
    Refuse("the list has no end marker already");
  }
  Board.Hobs.push_back({.What = HobEntry::Kind::NoEndMarker});
}

void ApplyDescriptorCutShort(const FaultPoint& Point, BoardConfig& Board) {
  if (Point.Where == Board.Hobs.size()) {
    Board.Hobs.push_back({.What = HobEntry::Kind::PmicDescriptor});
  }
  HobEntry& hob = HobAt(Board, Point.Where);
  if (hob.What != HobEntry::Kind::PmicDescriptor) {
    Refuse("HOB " + std::to_string(Point.Where) + " is not a descriptor HOB");
  }
  hob.HobLengthOverride = HobDescriptorCutShortValue;
}

// Whether the walk of Hobs stands at the header of Entry (Hobs.size(): the list's end).
bool Walked(const std::vector<HobEntry>& Hobs, size_t Entry) {
  const std::vector<size_t> walked = HobsWalked(Hobs);
  return std::find(walked.begin(), walked.end(), Entry) != walked.end();
}

// Where the point's HOB stands in the faulted list: the end, for a list without its marker.
size_t BrokenEntry(const FaultPoint& Point, const BoardConfig& Faulted) {
  return Point.Kind == FaultKind::HobNoEndMarker ? Faulted.Hobs.size() : Point.Where;
}

// Keeps Candidate when the walk of the faulted list reaches the HOB it breaks, or when the board
// cannot hand that list over at all (the sweep says why it did not run it); drops one the board
// cannot carry beside its own faults.
void AddIfReached(const ReferenceRun& Run, const FaultPoint& Candidate,
                  std::vector<FaultPoint>& Points) {
  BoardConfig faulted = Run.Board;
  try {
    InfoOf(Candidate.Kind).Apply(Candidate, faulted);
  } catch (const std::invalid_argument&) {
    return;
  }
  if (CheckHobWalk(faulted.Hobs) || Walked(faulted.Hobs, BrokenEntry(Candidate, faulted))) {
    Points.push_back(Candidate);
  }
}

template <FaultKind Kind> void EnumerateLength(const ReferenceRun& Run, std::vector<FaultPoint>& P) {
  const size_t count = std::max<size_t>(Run.Board.Hobs.size(), 1);
  for (size_t i = 0; i < count; ++i) {
    AddIfReached(Run, {Kind, static_cast<uint32_t>(i)}, P);
  }
}

void EnumerateNoEndMarker(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  AddIfReached(Run, {FaultKind::HobNoEndMarker}, Points);
}

void EnumerateDescriptorCutShort(const ReferenceRun& Run, std::vector<FaultPoint>& Points) {
  bool any = false;
  for (size_t i = 0; i < Run.Board.Hobs.size(); ++i) {
    if (Run.Board.Hobs[i].What == HobEntry::Kind::PmicDescriptor) {
      AddIfReached(Run, {FaultKind::HobDescriptorCutShort, static_cast<uint32_t>(i)}, Points);
      any = true;
    }
  }
  if (!any) {
    AddIfReached(Run, {FaultKind::HobDescriptorCutShort, static_cast<uint32_t>(Run.Board.Hobs.size())},
                 Points);
  }
}

bool Before(const FaultPoint&, const RunPosition&) {
  return false;
}

// Whether Config's list carries the point's fault at all.
bool Broken(const FaultPoint& Point, const BoardConfig& Config) {
  if (Point.Kind == FaultKind::HobNoEndMarker) {
    return !Terminated(Config.Hobs);
  }
  return Point.Where < Config.Hobs.size() && Config.Hobs[Point.Where].HobLengthOverride;
}

std::optional<Strike> StruckIn(const FaultPoint& Point, const BoardConfig& Config,
                               const StrikeLog& Log) {
  if (!Log.HandOver() || !Broken(Point, Config) ||
      !Walked(Config.Hobs, BrokenEntry(Point, Config))) {
    return std::nullopt;
  }
  Strike strike = *Log.HandOver();
  strike.Fault = Point;
  return strike;
}

constexpr FaultKindInfo Kinds[] = {
    {FaultKind::HobZeroLength, "hob-zero-length", FaultWhere::Index, false,
     "a HOB's length reads 0", ApplyLength<0>, EnumerateLength<FaultKind::HobZeroLength>, Before,
     StruckIn},
    {FaultKind::HobLengthBelowHeader, "hob-length-below-header", FaultWhere::Index, false,
     "a HOB's length is 4, below its own 8-byte header", ApplyLength<HobLengthBelowHeaderValue>,
     EnumerateLength<FaultKind::HobLengthBelowHeader>, Before, StruckIn},
    {FaultKind::HobLengthPastEnd, "hob-length-past-end", FaultWhere::Index, false,
     "a HOB's length steps past the end of the list", ApplyLength<HobLengthPastEndValue>,
     EnumerateLength<FaultKind::HobLengthPastEnd>, Before, StruckIn},
    {FaultKind::HobNoEndMarker, "hob-no-end-marker", FaultWhere::None, false,
     "the list has no end-of-list HOB inside the hand-off memory", ApplyNoEndMarker,
     EnumerateNoEndMarker, Before, StruckIn},
    {FaultKind::HobDescriptorCutShort, "hob-descriptor-cut-short", FaultWhere::Index, false,
     "a descriptor HOB's length cannot hold a whole descriptor", ApplyDescriptorCutShort,
     EnumerateDescriptorCutShort, Before, StruckIn},
};

} // namespace

std::span<const FaultKindInfo> HobFaultKinds() {
  return Kinds;
}

} // namespace sim::faults

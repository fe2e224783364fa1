#include "sim/HobWalk.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

constexpr size_t HeaderBytes = 8;
constexpr size_t GuidHobDataOffset = HeaderBytes + 16;
// The layouts the two forms of the module read: the image's 32-bit slots, the host's 64-bit.
constexpr unsigned ImagePointerBytes = 4;
constexpr unsigned HostPointerBytes = 8;

// Where a walk ended: how, and where in which entry (the end marker counts as one past the last).
struct WalkEnd {
  enum class How { EndOfList, Descriptor, TooShort } Stop;
  size_t Entry;
  size_t Offset;
  // The last HOB whose length the walk followed, and that length, to blame.
  size_t From = 0;
  uint16_t FromLength = 0;
  // Stopped at a descriptor HOB too short, by its length, for this layout's descriptor: that
  // length is to blame.
  bool ShortDescriptor = false;
  bool SameEnd(const WalkEnd& Other) const {
    return Stop == Other.Stop && Entry == Other.Entry && Offset == Other.Offset;
  }
};

struct Walker {
  const std::vector<HobEntry>& Entries;
  unsigned PointerBytes;
  std::vector<uint8_t> List = BuildHobList(Entries, PointerBytes);
  std::vector<size_t> Starts = EntryStarts();
  // The hand-off memory: the list, then zeros. The zeros are answered, not stored: a sweep
  // checks the list of every point it runs.
  size_t MemoryBytes = std::max(List.size(), HandoffMemoryBytes);

  uint8_t ByteAt(size_t At) const { return At < List.size() ? List[At] : 0; }
  uint16_t Get16(size_t At) const {
    return static_cast<uint16_t>(ByteAt(At) | (ByteAt(At + 1) << 8));
  }
  bool NamedAt(size_t At, const std::array<uint8_t, 16>& Name) const {
    for (size_t i = 0; i < Name.size(); ++i) {
      if (ByteAt(At + i) != Name[i]) {
        return false;
      }
    }
    return true;
  }
  size_t ListEnd() const { return Starts.back() + (Terminated(Entries) ? HeaderBytes : 0); }

  std::vector<size_t> EntryStarts() const {
    std::vector<size_t> starts;
    size_t at = 0;
    for (const HobEntry& entry : Entries) {
      starts.push_back(at);
      at += HobBytes(entry, PointerBytes);
    }
    starts.push_back(at); // the end marker, or where the list stops without one
    return starts;
  }

  size_t EntryAt(size_t At) const {
    return static_cast<size_t>(std::upper_bound(Starts.begin(), Starts.end(), At) -
                               Starts.begin()) -
           1;
  }

  std::string Layout() const {
    return PointerBytes == ImagePointerBytes ? "the image's 32-bit layout"
                                             : "the host build's 64-bit layout";
  }

  // Visited, when given, gets each entry at whose header the walk stands, in order.
  std::optional<HobListProblem> Walk(WalkEnd& End, std::vector<size_t>* Visited = nullptr) const {
    size_t at = 0;
    End = {};
    for (;;) {
      const size_t entry = EntryAt(at);
      if (Visited != nullptr && at == Starts[entry]) {
        Visited->push_back(entry);
      }
      const uint16_t type = Get16(at);
      const uint16_t length = Get16(at + 2);
      if (type == HobTypeEndOfList) {
        End.Stop = WalkEnd::How::EndOfList;
        End.Entry = entry;
        End.Offset = at - Starts[entry];
        return std::nullopt;
      }
      if (type == HobTypeGuidExtension && at + GuidHobDataOffset > MemoryBytes) {
        return HobListProblem{entry, "is where the walk meets a GUID HOB header whose name lies "
                                     "past the end of the hand-off memory in " +
                                         Layout()};
      }
      if (type == HobTypeGuidExtension && NamedAt(at + HeaderBytes, PmicDescriptorHobName)) {
        const size_t wanted = GuidHobDataOffset + DescriptorBytes(PointerBytes);
        if (length < wanted) {
          // Too short by its own length to hold a descriptor: the module stops there.
          End.Stop = WalkEnd::How::TooShort;
          End.Entry = entry;
          End.Offset = at - Starts[entry];
          End.From = entry;
          End.FromLength = length;
          End.ShortDescriptor = true;
          return std::nullopt;
        }
        const size_t holds = entry < Entries.size() && at == Starts[entry]
                                 ? HobBytes(Entries[entry], PointerBytes)
                                 : 0;
        if (holds < wanted) {
          return HobListProblem{entry, "is named like the descriptor HOB but does not hold a whole "
                                       "descriptor (" +
                                           std::to_string(DescriptorBytes(PointerBytes)) +
                                           " bytes of data in " + Layout() + ")"};
        }
        End.Stop = WalkEnd::How::Descriptor;
        End.Entry = entry;
        End.Offset = 0;
        return std::nullopt;
      }
      if (length < HeaderBytes) {
        End.Stop = WalkEnd::How::TooShort;
        End.Entry = entry;
        // Anywhere in the free memory after the list is one end: its zeros, in both layouts.
        End.Offset = at >= ListEnd() ? 0 : at - Starts[entry];
        return std::nullopt;
      }
      const size_t next = at + length;
      if (next % HeaderBytes != 0) {
        return HobListProblem{entry, "has a HobLength of " + std::to_string(length) +
                                         ", which leaves the next HOB header misaligned (HOB "
                                         "lengths are multiples of 8)"};
      }
      if (next + HeaderBytes > MemoryBytes) {
        return HobListProblem{entry, "has a HobLength of " + std::to_string(length) +
                                         ", which takes the walk past the end of the hand-off "
                                         "memory in " +
                                         Layout()};
      }
      End.From = entry;
      End.FromLength = length;
      at = next;
    }
  }
};

} // namespace

std::optional<HobListProblem> CheckHobWalk(const std::vector<HobEntry>& Entries) {
  const Walker image{Entries, ImagePointerBytes};
  const Walker host{Entries, HostPointerBytes};
  WalkEnd imageEnd{};
  WalkEnd hostEnd{};
  if (auto problem = image.Walk(imageEnd)) {
    return problem;
  }
  if (auto problem = host.Walk(hostEnd)) {
    return problem;
  }
  if (!imageEnd.SameEnd(hostEnd)) {
    // A length that steps over a descriptor HOB lands in different bytes in the two layouts, and
    // one may hold the image's descriptor but not the host's.
    const WalkEnd& blame =
        hostEnd.ShortDescriptor && !imageEnd.ShortDescriptor ? hostEnd : imageEnd;
    return HobListProblem{blame.From, "has a HobLength of " + std::to_string(blame.FromLength) +
                                          ", after which the walk ends differently in the "
                                          "image's 32-bit layout and in the host build's "
                                          "64-bit layout"};
  }
  return std::nullopt;
}

std::vector<size_t> HobsWalked(const std::vector<HobEntry>& Entries) {
  if (CheckHobWalk(Entries)) {
    return {};
  }
  // Both layouts end alike once the list is accepted; the image's is the one walked here.
  const Walker image{Entries, ImagePointerBytes};
  WalkEnd end{};
  std::vector<size_t> visited;
  image.Walk(end, &visited);
  return visited;
}

} // namespace sim

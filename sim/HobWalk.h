// The module walks the HOB list it is handed without knowing where the list ends: it stops at
// the end-of-list HOB, at the descriptor HOB, or at a HOB too short to step past, and otherwise
// trusts each HobLength. A board may hand over a malformed list (that is how the module's walk is
// tested), but only one whose walk stays inside the hand-off memory (the list, then zeros) in both
// layouts and ends the same way in both: otherwise the host build would read memory it does not
// own, and the two forms of the module would disagree. A walk that runs off the list's end, or
// past a list without an end marker, meets a zero header in the free memory and stops there.
#pragma once

#include "sim/HobList.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct HobListProblem {
  size_t Entry; // the HOB to blame, an index into the entries
  std::string What;
};

// Walks the list as the module does, in the image's layout and in the host build's; the first
// thing that would take either walk outside the list, onto a misaligned header, into a descriptor
// that its HOB does not hold, or to a different end in the two layouts.
std::optional<HobListProblem> CheckHobWalk(const std::vector<HobEntry>& Entries);

// The entries at whose header the module's walk stands, in order: what a fault in the list can
// strike. The list's end (where its end-of-list HOB, or the free memory, lies) counts as entry
// Entries.size(). Empty for a list CheckHobWalk refuses.
std::vector<size_t> HobsWalked(const std::vector<HobEntry>& Entries);

} // namespace sim

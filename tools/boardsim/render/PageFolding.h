// What a page embeds of a run's document: the document with long runs of alike items folded, as
// the text summary folds its lines. A wait that never ends (a semaphore never granted, a stalled
// bus) makes tens of thousands of sideband messages and activity stretches, each alike but for
// its time; unfolded, such a page was tens of megabytes and took minutes to open. --json keeps
// every item; the page says how many each folded item stands for.
#pragma once

#include <nlohmann/json.hpp>

namespace boardsim {

// Items alike in a row, from this many on, become one.
constexpr size_t PageFoldFrom = 3;

// Sideband messages alike but for time and access (in a row) become the first with "repeat" (how
// many) and "last_ns"/"last_seq"; activity stretches of one lane alike in reads and writes (in a
// row within the lane) become one stretch from the first's start to the last's end with the sums
// and "stretches" (how many). Every other part of the document is left as it is.
nlohmann::ordered_json FoldForPage(const nlohmann::ordered_json& Document);

} // namespace boardsim

// The HOB lists a board may hand over: malformed ones are allowed as long as the module's walk
// stays inside the list and ends the same way in the image's and the host build's layout.
#include "sim/HobWalk.h"
#include "sim/BoardFile.h"
#include "support/BoardFileErrors.h"

#include <gtest/gtest.h>

namespace {

// Texts of `"hobs": [...]`, refused with the HOB (its position) and what is wrong.
TEST(HobWalk, ListsWhoseWalkLeavesTheListAreRefused) {
  std::string huge = R"({"hobs": [)";
  for (int i = 0; i < 32; ++i) {
    huge += std::string(i == 0 ? "" : ",") + R"({"kind":"other","hob_type":2,"data_length":32768})";
  }
  huge += "]}";
  const std::vector<testsupport::BoardFileErrorCase> bad = {
      {huge.c_str(), "b.json:1:10: the HOB list takes 1048840 bytes; the hand-off memory holds "
                     "524288"},
      {R"({"hobs": [{"kind": "other", "hob_type": 2, "hob_length": 9}]})",
       "b.json:1:11: HOB 0 has a HobLength of 9, which leaves the next HOB header misaligned"},
      {R"({"hobs": [{"kind": "no-end-marker"}, {"kind": "other", "hob_type": 2}]})",
       "b.json:1:11: \"no-end-marker\" says where the list stops: it must be the last entry"},
      // Long enough for the image's 108-byte descriptor, too short for the host's 208 bytes.
      {R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA",
                     "data_length": 120}]})",
       "b.json:1:11: HOB 0 has a HobLength of 144, after which the walk ends differently"},
      // Its length holds a descriptor, its bytes do not.
      {R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA",
                     "hob_length": 232}]})",
       "b.json:1:11: HOB 0 is named like the descriptor HOB but does not hold a whole descriptor "
       "(108 bytes"},
      // 144 steps over the 136-byte image descriptor HOB onto the next HOB, but lands inside the
      // host's 232-byte one, whose null slots stop the walk there.
      {R"({"hobs": [{"kind": "other", "hob_type": 2, "data_length": 0, "hob_length": 144},
                    {"kind": "pmic-descriptor", "variant": 6},
                    {"kind": "pmic-descriptor", "variant": 1}]})",
       "b.json:1:11: HOB 0 has a HobLength of 144"},
  };
  testsupport::ExpectBoardFileErrors(bad, "b.json");
}

TEST(HobWalk, MalformedListsWhoseWalkStaysInsideAreAllowed) {
  // Off the list's end, or past a list with no end marker, the walk meets the zeros of the free
  // hand-off memory and stops.
  const char* const allowed[] = {
      R"({"hobs": [{"kind": "other", "hob_type": 2, "hob_length": 4096}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 2},
                   {"kind": "other", "hob_type": 3, "data_length": 8, "hob_length": 65528}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 2}, {"kind": "no-end-marker"}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 3, "hob_length": 0}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 3, "hob_length": 7}]})",
      R"({"hobs": [{"kind": "pmic-descriptor", "variant": 1, "hob_length": 0}]})",
      R"({"hobs": [{"kind": "other", "hob_type": 2, "data_length": 64, "hob_length": 16}]})",
      R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA",
                    "data_length": 208}]})",
      R"({"hobs": [{"kind": "guid", "guid": "389DF924-829C-4EF5-B9CE-9CD0652887EA"}]})",
  };
  for (const char* text : allowed) {
    SCOPED_TRACE(text);
    EXPECT_NO_THROW(sim::ParseBoardText(text, "b.json"));
  }
}

} // namespace

// Board texts that must be refused, each with the start of the message it must be refused with
// ("board.json:LINE:COLUMN: what").
#pragma once

#include "sim/BoardFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

struct BoardFileErrorCase {
  const char* Text;
  const char* Message;
};

inline void ExpectBoardFileErrors(const std::vector<BoardFileErrorCase>& Cases,
                                  const char* Source = "board.json") {
  for (const BoardFileErrorCase& c : Cases) {
    SCOPED_TRACE(c.Text);
    try {
      sim::ParseBoardText(c.Text, Source);
      ADD_FAILURE() << "accepted";
    } catch (const sim::BoardFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.Message, 0), 0u) << error.what();
    }
  }
}

} // namespace testsupport

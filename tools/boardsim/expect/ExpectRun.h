// --expect and --junit around one boot or slot call: the expectation file is read before the run
// (a bad one is refused before any time is spent) and the report opened as the other outputs are;
// after the run, the verdicts are printed, one line when every expectation is met and one line
// per unmet expectation otherwise, and written as JUnit XML.
#pragma once

#include "tools/boardsim/expect/ExpectCheck.h"
#include "tools/boardsim/render/Junit.h"
#include "tools/boardsim/session/RunOptions.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// The verdict lines: "expectations met: N of N (FILE)", or one line per unmet expectation
// ("pad 0x0000:93 mode: expected 1, got 0"); an expectation the run cannot show is named apart.
std::vector<std::string> VerdictLines(const std::string& Path,
                                      const std::vector<Verdict>& Verdicts);

// The verdicts as one suite, each expectation a test case. ClassName: "run.default".
JunitSuite VerdictSuite(const std::string& Name, const std::string& ClassName,
                        const std::vector<Verdict>& Verdicts);

class ExpectSession {
public:
  // Call after the board is loaded and before the outputs are opened: reads --expect, and opens
  // --junit once RefuseSharedFiles has passed (Open).
  ExpectSession(const RunOptions& Options, ExpectingOf Command);
  void Open();
  bool Wanted() const { return expected_.has_value(); }
  // The pads the file names, for the pad detail the check reads.
  std::vector<PadRef> PadsNamed() const;
  // Prints the verdicts to Out and writes the report; returns 0 when every expectation is met,
  // tools::ExitRunFailed otherwise. Board: the board's name, for the report's names.
  int Finish(const nlohmann::ordered_json& Document, const nlohmann::ordered_json& PadDetail,
             const std::string& Board, std::ostream& Out);

private:
  const RunOptions& options_;
  ExpectingOf command_;
  std::optional<Expectations> expected_;
  std::optional<JunitOutput> junit_;
};

} // namespace boardsim

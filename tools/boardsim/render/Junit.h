// JUnit XML, the report CI systems (Jenkins, GitLab) read: suites of test cases, each passed,
// failed with a message and a text, or skipped with the reason. Written as plain text: every
// string from outside is made printable (common/Printable.h) and its markup characters escaped, so
// the file is ASCII and well-formed whatever a board's name or a path holds.
#pragma once

#include "common/files/OutputFile.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

enum class CaseOutcome { Passed, Failed, Skipped };

struct JunitCase {
  std::string Name;
  std::string ClassName;
  CaseOutcome Outcome = CaseOutcome::Passed;
  std::string Message; // the failure's or the skip's one line
  std::string Text;    // a failure's detail, any number of lines
};

struct JunitSuite {
  std::string Name;
  std::vector<JunitCase> Cases;
};

// Name: the whole report's ("boardsim run"); Seconds: the time it took, if known.
void WriteJunit(std::ostream& Out, const std::string& Name, const std::vector<JunitSuite>& Suites,
                std::optional<double> Seconds = std::nullopt);

// Where --junit goes, if anywhere: opened before the run, as --trace is, so that a path that
// cannot be written is refused before any time is spent; written whole or not at all.
class JunitOutput {
public:
  explicit JunitOutput(const std::optional<std::string>& Path);
  bool Wanted() const { return file_.has_value(); }
  void Write(const std::string& Name, const std::vector<JunitSuite>& Suites,
             std::optional<double> Seconds = std::nullopt);

private:
  std::optional<files::OutputFile> file_;
};

} // namespace boardsim

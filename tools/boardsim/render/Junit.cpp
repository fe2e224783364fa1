#include "tools/boardsim/render/Junit.h"

#include "common/Printable.h"

#include <algorithm>
#include <ostream>

namespace boardsim {

namespace {

// Printable first (no control character, no byte above 0x7E: XML 1.0 refuses most controls), then
// the five characters markup gives a meaning, so that the text fits an attribute or an element.
std::string Escaped(const std::string& Text) {
  std::string out;
  for (const char c : tools::Printable(Text, tools::Backslashes::Keep)) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&apos;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

// Lines of a failure's text stay lines: Printable would write each newline as \x0A.
std::string EscapedLines(const std::string& Text) {
  std::string out;
  size_t from = 0;
  for (size_t at = Text.find('\n'); at != std::string::npos; at = Text.find('\n', from)) {
    out += Escaped(Text.substr(from, at - from)) + '\n';
    from = at + 1;
  }
  return out + Escaped(Text.substr(from));
}

size_t CountOf(const std::vector<JunitCase>& Cases, CaseOutcome Outcome) {
  return static_cast<size_t>(std::count_if(
      Cases.begin(), Cases.end(), [&](const JunitCase& C) { return C.Outcome == Outcome; }));
}

void WriteCounts(std::ostream& Out, size_t Tests, size_t Failures, size_t Skipped) {
  Out << " tests=\"" << Tests << "\" failures=\"" << Failures << "\" errors=\"0\" skipped=\""
      << Skipped << '"';
}

void WriteCase(std::ostream& Out, const JunitCase& Case) {
  Out << "    <testcase name=\"" << Escaped(Case.Name) << "\" classname=\""
      << Escaped(Case.ClassName) << '"';
  if (Case.Outcome == CaseOutcome::Passed) {
    Out << "/>\n";
    return;
  }
  Out << ">\n";
  if (Case.Outcome == CaseOutcome::Skipped) {
    Out << "      <skipped message=\"" << Escaped(Case.Message) << "\"/>\n";
  } else {
    Out << "      <failure message=\"" << Escaped(Case.Message) << "\" type=\"failure\">"
        << EscapedLines(Case.Text) << "</failure>\n";
  }
  Out << "    </testcase>\n";
}

} // namespace

void WriteJunit(std::ostream& Out, const std::string& Name, const std::vector<JunitSuite>& Suites,
                std::optional<double> Seconds) {
  size_t tests = 0;
  size_t failures = 0;
  size_t skipped = 0;
  for (const JunitSuite& suite : Suites) {
    tests += suite.Cases.size();
    failures += CountOf(suite.Cases, CaseOutcome::Failed);
    skipped += CountOf(suite.Cases, CaseOutcome::Skipped);
  }
  Out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" << Escaped(Name) << '"';
  WriteCounts(Out, tests, failures, skipped);
  if (Seconds) {
    Out << " time=\"" << *Seconds << '"';
  }
  Out << ">\n";
  for (const JunitSuite& suite : Suites) {
    Out << "  <testsuite name=\"" << Escaped(suite.Name) << '"';
    WriteCounts(Out, suite.Cases.size(), CountOf(suite.Cases, CaseOutcome::Failed),
                CountOf(suite.Cases, CaseOutcome::Skipped));
    Out << ">\n";
    for (const JunitCase& testCase : suite.Cases) {
      WriteCase(Out, testCase);
    }
    Out << "  </testsuite>\n";
  }
  Out << "</testsuites>\n";
}

JunitOutput::JunitOutput(const std::optional<std::string>& Path) {
  if (Path) {
    file_.emplace(*Path, "JUnit report");
  }
}

void JunitOutput::Write(const std::string& Name, const std::vector<JunitSuite>& Suites,
                        std::optional<double> Seconds) {
  if (!file_) {
    return;
  }
  WriteJunit(file_->Stream(), Name, Suites, Seconds);
  file_->Finish();
}

} // namespace boardsim

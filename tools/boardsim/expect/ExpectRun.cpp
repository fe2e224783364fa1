#include "tools/boardsim/expect/ExpectRun.h"

#include "common/ToolError.h"

#include <algorithm>
#include <ostream>

namespace boardsim {

std::vector<std::string> VerdictLines(const std::string& Path,
                                      const std::vector<Verdict>& Verdicts) {
  std::vector<std::string> lines;
  std::string notChecked;
  size_t met = 0;
  for (const Verdict& v : Verdicts) {
    if (v.State == VerdictState::Unmet) {
      lines.push_back(v.Name + ": expected " + v.Expected + ", got " + v.Actual);
    } else if (v.State == VerdictState::NotChecked) {
      notChecked += "; not checked: " + v.Name + " (" + v.Actual + ")";
    } else {
      ++met;
    }
  }
  if (lines.empty()) {
    lines.push_back("expectations met: " + std::to_string(met) + " of " +
                    std::to_string(Verdicts.size()) + " (" + Path + ")" + notChecked);
  } else if (!notChecked.empty()) {
    lines.push_back(notChecked.substr(2));
  }
  return lines;
}

JunitSuite VerdictSuite(const std::string& Name, const std::string& ClassName,
                        const std::vector<Verdict>& Verdicts) {
  JunitSuite suite{Name, {}};
  for (const Verdict& v : Verdicts) {
    JunitCase testCase{v.Name, ClassName, CaseOutcome::Passed, "", ""};
    if (v.State == VerdictState::Unmet) {
      testCase.Outcome = CaseOutcome::Failed;
      testCase.Message = "expected " + v.Expected + ", got " + v.Actual;
      testCase.Text = v.Name + ": " + testCase.Message;
    } else if (v.State == VerdictState::NotChecked) {
      testCase.Outcome = CaseOutcome::Skipped;
      testCase.Message = v.Actual;
    }
    suite.Cases.push_back(std::move(testCase));
  }
  return suite;
}

ExpectSession::ExpectSession(const RunOptions& Options, ExpectingOf Command)
    : options_(Options), command_(Command) {
  if (Options.ExpectPath) {
    expected_ = LoadExpectations(*Options.ExpectPath, Command);
  }
}

void ExpectSession::Open() {
  junit_.emplace(options_.JunitPath);
}

std::vector<PadRef> ExpectSession::PadsNamed() const {
  return expected_ ? expected_->PadsNamed() : std::vector<PadRef>{};
}

int ExpectSession::Finish(const nlohmann::ordered_json& Document,
                          const nlohmann::ordered_json& PadDetail, const std::string& Board,
                          std::ostream& Out) {
  if (!expected_) {
    return 0;
  }
  const std::vector<Verdict> verdicts = CheckExpectations(*expected_, Document, PadDetail);
  for (const std::string& line : VerdictLines(expected_->Path, verdicts)) {
    Out << tools::Printable(line, tools::Backslashes::Keep) << '\n';
  }
  Out.flush();
  const char* command = command_ == ExpectingOf::Run ? "run" : "op";
  const std::string name = std::string("boardsim ") + command;
  if (junit_) {
    junit_->Write(name,
                  {VerdictSuite(name + " " + Board, std::string(command) + "." + Board, verdicts)});
  }
  const bool met = std::none_of(verdicts.begin(), verdicts.end(),
                                [](const Verdict& V) { return V.State == VerdictState::Unmet; });
  return met ? 0 : tools::ExitRunFailed;
}

} // namespace boardsim

// The sweep as JUnit XML (--junit), for a CI system to show beside its other tests.
#include "tools/boardsim/sweep/SweepSummary.h"

#include <map>

namespace boardsim {

namespace {

JunitCase ReferenceCase(const SweepReport& Report, size_t Target, const std::string& Class) {
  const PointResult& reference = Report.References[Target];
  JunitCase testCase{"reference", Class, CaseOutcome::Passed, "", ""};
  if (reference.Failed()) {
    testCase.Outcome = CaseOutcome::Failed;
    testCase.Message = "the fault-free run failed: " + WhyFailed(reference);
    testCase.Text = testCase.Message;
  }
  return testCase;
}

// Each failed point of a kind: what went wrong, and the command that runs it alone.
std::string FailureText(const SweepReport& Report, const std::vector<size_t>& Points) {
  std::string text;
  for (const size_t i : Points) {
    text += "FAIL " + sim::FormatFaultPoint(Report.Points[i].Point) + ": " +
            WhyFailed(Report.Results[i]) + "\n  reproduce: " + Report.Reproduce[i] + "\n";
  }
  return text;
}

// Why none of the points a target lists of a kind was tried: --sample drew none of them, or
// (sharded) none fell in this shard.
std::string LeftOut(const SweepReport& Report, size_t Listed) {
  const bool sampled = !Report.Sweep.value("sample", nlohmann::ordered_json()).is_null();
  const std::string how = sampled && Report.Shard ? " drawn by --sample into this shard"
                          : sampled               ? " drawn by --sample"
                                                  : " in this shard";
  return Listed == 1 ? "the one point listed was not" + how
                     : "none of the " + std::to_string(Listed) + " points listed was" + how;
}

JunitCase KindCase(const SweepReport& Report, size_t Target, sim::FaultKind Kind,
                   const SweepSummary& Summary, const std::vector<size_t>& Failures,
                   const std::string& Class) {
  JunitCase testCase{sim::InfoOf(Kind).Name, Class, CaseOutcome::Passed, "", ""};
  const auto cell = Summary.Targets[Target].ByKind.find(Kind);
  if (cell == Summary.Targets[Target].ByKind.end() || cell->second.Points == 0) {
    testCase.Outcome = CaseOutcome::Skipped;
    const PointResult& reference = Report.References[Target];
    testCase.Message =
        reference.Class != PointClass::Returned
            ? std::string("no point: the fault-free run ") + ClassName(reference.Class)
        : cell == Summary.Targets[Target].ByKind.end()
            ? "no point of this kind: the fault-free run reached none"
            : LeftOut(Report, cell->second.Listed);
    return testCase;
  }
  if (!Failures.empty()) {
    testCase.Outcome = CaseOutcome::Failed;
    testCase.Message = std::to_string(Failures.size()) + " of " +
                       std::to_string(cell->second.Points) + " points failed";
    testCase.Text = FailureText(Report, Failures);
  }
  return testCase;
}

} // namespace

std::vector<JunitSuite> SweepJunit(const SweepReport& Report) {
  const SweepSummary summary = Summarize(Report);
  // The failed points of each target and kind, in the order they were tried.
  std::map<std::pair<size_t, sim::FaultKind>, std::vector<size_t>> failures;
  for (const size_t i : summary.Failures) {
    failures[{Report.Points[i].Target, Report.Points[i].Point.Kind}].push_back(i);
  }
  std::vector<JunitSuite> suites;
  for (size_t t = 0; t < Report.Targets.size(); ++t) {
    const SweepTarget& target = Report.Targets[t];
    const std::string className = "sweep." + target.Board + "." + target.What();
    JunitSuite suite{target.Board + " " + target.What(), {ReferenceCase(Report, t, className)}};
    for (const sim::FaultKind kind : Report.Kinds) {
      suite.Cases.push_back(KindCase(Report, t, kind, summary, failures[{t, kind}], className));
    }
    suites.push_back(std::move(suite));
  }
  return suites;
}

} // namespace boardsim

// sweep(): every fault at every point of the boards' boots and slot calls, run by the sweep's own
// code (its worker processes included), and the Sweep it gives: counts, failures with the
// commands that reproduce them, and the command line's text and document.
#include "sim/faults/FaultKinds.h"
#include "tools/boardsim/python/PyArguments.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyInstallation.h"
#include "tools/boardsim/python/PyRun.h"
#include "tools/boardsim/sweep/SweepOptions.h"
#include "tools/boardsim/sweep/SweepReport.h"
#include "tools/boardsim/sweep/SweepSummary.h"

#include <pybind11/stl.h>

#include <map>
#include <sstream>

namespace py = pybind11;

namespace boardsim::python {

namespace {

struct SweepResult {
  SweepReport Report;
  SweepSummary Summary;
};

struct SweepFailure {
  std::string Target; // "boot on default", "ReadVoltage on variant6"
  std::string Fault;
  std::string Outcome;
  std::string Detail;
  std::string Reproduce;
};

std::vector<std::string> Boards(const py::handle& Boards) {
  if (Boards.is_none()) {
    return {};
  }
  if (py::isinstance<py::str>(Boards) || py::isinstance<LoadedBoard>(Boards) ||
      py::hasattr(Boards, "__fspath__")) {
    return {BoardArgument(Boards, "boards")};
  }
  if (!py::isinstance<py::iterable>(Boards)) {
    Refuse(ErrorKind::Usage, "boards: a board or boards");
  }
  std::vector<std::string> boards;
  for (const py::handle board : Boards) {
    boards.push_back(BoardArgument(board, "boards"));
  }
  return boards;
}

// What the command line's sweep options would say; CLI11's own checks are made here.
struct SweepArguments {
  py::object Boards, Ops, Kinds;
  std::optional<size_t> Sample;
  std::optional<uint64_t> Seed;
  std::optional<std::string> Shard;
  bool BootsOnly = false;
  std::string Form;
  std::optional<unsigned> Jobs;
};

SweepOptions OptionsOf(const SweepArguments& A) {
  SweepOptions options;
  options.Boards = Boards(A.Boards);
  options.Slots = Strings(A.Ops, "ops");
  options.Kinds = Strings(A.Kinds, "kinds");
  options.Host = HostForm(A.Form);
  if (A.Sample && *A.Sample == 0) {
    Refuse(ErrorKind::Usage, "sample: 1 or more points, or None for every point");
  }
  options.Sample = A.Sample.value_or(0);
  if (A.Seed && !A.Sample) {
    Refuse(ErrorKind::Sweep, "seed: chooses which points a sample draws; give sample too");
  }
  options.Seed = A.Seed.value_or(0);
  options.Shard = A.Shard;
  if (A.BootsOnly && !options.Slots.empty()) {
    Refuse(ErrorKind::Sweep, "boots_only: no slot call is swept, but ops names some");
  }
  options.BootsOnly = A.BootsOnly;
  if (A.Jobs && *A.Jobs == 0) {
    Refuse(ErrorKind::Usage, "jobs: 1 or more, or None for the core count");
  }
  options.Jobs = A.Jobs.value_or(0);
  return options;
}

std::shared_ptr<SweepResult> Sweep(const SweepArguments& Arguments) {
  const SweepOptions options = OptionsOf(Arguments);
  auto result = std::make_shared<SweepResult>();
  {
    // The workers are processes of their own; this thread only waits for them.
    py::gil_scoped_release free;
    result->Report =
        Classified(ErrorKind::Sweep, [&] { return RunSweep(options, Where(), false); });
  }
  result->Summary = Summarize(result->Report);
  return result;
}

std::vector<SweepFailure> Failures(const SweepResult& R) {
  std::vector<SweepFailure> failures;
  for (const size_t i : R.Summary.Failures) {
    const SweepPoint& point = R.Report.Points[i];
    const SweepTarget& target = R.Report.Targets[point.Target];
    const PointResult& result = R.Report.Results[i];
    failures.push_back({target.What() + " on " + target.Board, sim::FormatFaultPoint(point.Point),
                        ClassName(result.Class), WhyFailed(result), R.Report.Reproduce[i]});
  }
  return failures;
}

// By kind: the points tried and what came of them, as the text's table counts them, and how many
// the fault-free runs list before sample and shard pick from them.
std::map<std::string, std::map<std::string, size_t>> KindCounts(const SweepResult& R) {
  std::map<std::string, std::map<std::string, size_t>> kinds;
  for (const KindTally& t : R.Summary.Kinds) {
    kinds[sim::InfoOf(t.Kind).Name] = {{"listed", t.Listed},     {"points", t.Points},
                                       {"struck", t.Struck},     {"no_effect", t.NoEffect},
                                       {"returned", t.Returned}, {"stuck", t.Stuck},
                                       {"crashed", t.Crashed},   {"not_run", t.NotRun},
                                       {"failed", t.Failed},     {"not_offered", t.NotOffered}};
  }
  return kinds;
}

} // namespace

void AddSweep(py::module_& m) {
  py::class_<SweepFailure>(m, "SweepFailure",
                           "A failed point, with the command that reproduces it.")
      .def_readonly("target", &SweepFailure::Target)
      .def_readonly("fault", &SweepFailure::Fault)
      .def_readonly("outcome", &SweepFailure::Outcome)
      .def_readonly("detail", &SweepFailure::Detail)
      .def_readonly("reproduce", &SweepFailure::Reproduce)
      .def("__repr__", [](const SweepFailure& F) { return "<SweepFailure " + F.Reproduce + ">"; });
  py::class_<SweepResult, std::shared_ptr<SweepResult>>(m, "Sweep", "What a sweep found.")
      .def_property_readonly("module", [](const SweepResult& R) { return R.Report.Module; })
      .def_property_readonly("points", [](const SweepResult& R) { return R.Summary.Totals.Points; })
      .def_property_readonly("passed", [](const SweepResult& R) { return R.Summary.Totals.Passed; })
      .def_property_readonly("failed", [](const SweepResult& R) { return R.Summary.Totals.Failed; })
      .def_property_readonly("no_effect",
                             [](const SweepResult& R) { return R.Summary.Totals.NoEffect; })
      .def_property_readonly("kinds", &KindCounts)
      .def_property_readonly("failures", &Failures)
      .def_property_readonly("seconds", [](const SweepResult& R) { return R.Report.Seconds; })
      .def(
          "to_json", [](const SweepResult& R) { return SweepDocument(R.Report).dump(2) + "\n"; },
          "The command line's JSON document (--json), as text.")
      .def("__str__", [](const SweepResult& R) {
        std::ostringstream out;
        PrintSweep(out, R.Report);
        return out.str();
      });
  m.def(
      "sweep",
      [](const py::object& Boards, const py::object& Ops, const py::object& Kinds,
         const std::optional<size_t>& Sample, const std::optional<uint64_t>& Seed,
         const std::optional<std::string>& Shard, bool BootsOnly, const std::string& Form,
         const std::optional<unsigned>& Jobs) {
        return Sweep({Boards, Ops, Kinds, Sample, Seed, Shard, BootsOnly, Form, Jobs});
      },
      py::kw_only(), py::arg("boards") = py::none(), py::arg("ops") = py::none(),
      py::arg("kinds") = py::none(), py::arg("sample") = py::none(), py::arg("seed") = py::none(),
      py::arg("shard") = py::none(), py::arg("boots_only") = false, py::arg("form") = "image",
      py::arg("jobs") = py::none(),
      "Every fault at every point of the boards' boots and slot calls; see docs/python.md.");
}

} // namespace boardsim::python

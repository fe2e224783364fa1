// The expectation check of --expect on a Run or a Call: the same file, checked against the same
// document --json gives and the detail of the pads it names.
#include "tools/boardsim/expect/ExpectCheck.h"
#include "tools/boardsim/expect/ExpectRun.h"
#include "tools/boardsim/python/PyArguments.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyRun.h"
#include "tools/boardsim/render/JsonViews.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace boardsim::python {

namespace {

struct Checked {
  std::vector<Verdict> Verdicts;
  std::vector<std::string> Lines; // as --expect prints them
  bool Met = true;
};

Checked Check(const std::shared_ptr<BoardSession>& Result, const py::handle& Path) {
  const bool boot = std::dynamic_pointer_cast<BootSession>(Result) != nullptr;
  const std::string path = PathArgument(Path, "expectations");
  const Expectations expected = Classified(ErrorKind::Expect, [&] {
    return LoadExpectations(path, boot ? ExpectingOf::Run : ExpectingOf::Op);
  });
  const std::vector<PadRef> pads = expected.PadsNamed();
  const nlohmann::ordered_json detail =
      pads.empty() ? nlohmann::ordered_json::array() : PadsJson(Result->Pads(pads));
  Checked checked{CheckExpectations(expected, Result->Document(), detail), {}};
  checked.Lines = VerdictLines(expected.Path, checked.Verdicts);
  checked.Met = std::none_of(checked.Verdicts.begin(), checked.Verdicts.end(),
                             [](const Verdict& V) { return V.State == VerdictState::Unmet; });
  return checked;
}

const char* StateName(VerdictState State) {
  switch (State) {
  case VerdictState::Met:
    return "met";
  case VerdictState::Unmet:
    return "unmet";
  case VerdictState::NotChecked:
    return "not checked";
  }
  return "?";
}

} // namespace

void AddExpect(py::module_& m) {
  py::class_<Verdict>(m, "Verdict", "One expectation's outcome, as a verdict line names it.")
      .def_readonly("name", &Verdict::Name)
      .def_readonly("expected", &Verdict::Expected)
      .def_readonly("actual", &Verdict::Actual)
      .def_property_readonly("state", [](const Verdict& V) { return StateName(V.State); })
      .def("__repr__",
           [](const Verdict& V) { return "<Verdict " + V.Name + ": " + StateName(V.State) + ">"; });
  py::class_<Checked>(m, "Checked", "The verdicts of an expectation file on one run.")
      .def_readonly("verdicts", &Checked::Verdicts)
      .def_readonly("lines", &Checked::Lines)
      .def_readonly("met", &Checked::Met);
  m.def("check", &Check, py::arg("result"), py::arg("expectations"),
        "The verdicts of an expectation file (docs/expect.md) on a Run or a Call.");
}

} // namespace boardsim::python

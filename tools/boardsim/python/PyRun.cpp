// run(): a boot, and the Run it gives; and the views a boot and a slot call share (Result).
#include "tools/boardsim/python/PyRun.h"
#include "tools/boardsim/python/PyArguments.h"
#include "tools/boardsim/python/PyViews.h"
#include "tools/boardsim/render/StepLines.h"
#include "tools/boardsim/render/SummaryJson.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/run/StatusName.h"

#include <pybind11/stl.h>

#include <sstream>

namespace py = pybind11;

namespace boardsim::python {

std::string JsonText(BoardSession& Session) {
  std::ostringstream out;
  PrintJson(out, Session.Document());
  return out.str();
}

namespace {

void AddResult(py::module_& m) {
  py::class_<BoardSession, std::shared_ptr<BoardSession>>(
      m, "Result", "What a boot (Run) and a slot call (Call) both show.")
      .def_property_readonly("board", [](const BoardSession& S) { return S.Board().Config.Name; })
      .def_property_readonly("board_path", [](const BoardSession& S) { return S.Board().Path; })
      .def_property_readonly(
          "form", [](const BoardSession& S) { return S.Options().Host ? "host" : "image"; })
      .def_property_readonly("accesses",
                             [](const BoardSession& S) { return S.Soc().Bus.AccessCount(); })
      .def_property_readonly("time_ns",
                             [](const BoardSession& S) { return S.Soc().Bus.GetClock().NowNs(); })
      .def_property_readonly("stack_bytes", &BoardSession::StackUsed)
      .def_property_readonly("stack_size",
                             [](const BoardSession& S) { return StackBytesOf(S.Board().Config); })
      .def_property_readonly("failure",
                             [](const BoardSession& S) {
                               return S.Failure().empty() ? std::nullopt
                                                          : std::optional(S.Failure());
                             })
      .def_property_readonly("faults", [](const BoardSession& S) { return FaultViews(S.Faults()); })
      .def_property_readonly(
          "transactions",
          [](const BoardSession& S) { return sim::decode::DecodeBus(S.Accesses()).I2c; })
      .def_property_readonly("pads",
                             [](const std::shared_ptr<BoardSession>& S) { return PadMap{S}; })
      .def_property_readonly("trace",
                             [](const std::shared_ptr<BoardSession>& S) {
                               // The run made again, while other threads go on.
                               py::gil_scoped_release free;
                               return TraceView(S);
                             })
      .def("to_json", &JsonText, "The command line's JSON document (--json), as text.")
      .def("__str__", &BoardSession::Text);
}

std::shared_ptr<BootSession> Run(const py::object& Board, const py::object& Faults,
                                 const std::string& Form, const py::object& Image,
                                 const py::object& Pads) {
  auto session = std::make_shared<BootSession>(OptionsOf(Board, Faults, Form, Image, Pads));
  // Boots on other threads go on meanwhile: a boot shares nothing with another.
  py::gil_scoped_release free;
  session->Run();
  return session;
}

std::optional<std::string> StatusOf(const BootSession& S) {
  return S.Result().Status ? std::optional(tools::StatusName(*S.Result().Status)) : std::nullopt;
}

} // namespace

void AddRun(py::module_& m) {
  AddResult(m);
  py::class_<BootSession, BoardSession, std::shared_ptr<BootSession>>(
      m, "Run", "A boot: ModuleEntry on a board, as boardsim run makes it.")
      .def_property_readonly("status", &StatusOf)
      .def_property_readonly("status_value", [](const BootSession& S) { return S.Result().Status; })
      .def_property_readonly("module", &BootSession::Module)
      .def_property_readonly("board_step", [](BootSession& S) { return S.Report().Step.Steps; })
      .def_property_readonly(
          "pmic", [](BootSession& S) { return DescribeSelection(S.Report().Step.Selection); })
      .def("__repr__", [](const BootSession& S) {
        return "<Run " + S.Board().Config.Name + " " + (S.Options().Host ? "host" : "image") + " " +
               StatusOf(S).value_or("did not return") + ">";
      });
  m.def("run", &Run, py::arg("board") = "default", py::arg("faults") = py::tuple(),
        py::arg("form") = "image", py::arg("image") = py::none(), py::arg("pads") = py::none(),
        "Boots the module on a board; see docs/python.md.");
}

} // namespace boardsim::python

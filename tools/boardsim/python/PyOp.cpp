// op(): one PMIC slot called as other firmware modules call it, and the Call it gives.
#include "tools/boardsim/analysis/Selection.h"
#include "tools/boardsim/python/PyArguments.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyRun.h"
#include "tools/run/StatusName.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace boardsim::python {

namespace {

// An argument as op's command line takes it: a number, or None for a null pointer.
std::string SlotWord(const py::handle& Argument) {
  if (Argument.is_none()) {
    return "null";
  }
  if (py::isinstance<py::bool_>(Argument) || !py::isinstance<py::int_>(Argument)) {
    if (py::isinstance<py::str>(Argument)) {
      return Argument.cast<std::string>();
    }
    Refuse(ErrorKind::Slot,
           "slot arguments are numbers, or None for a null pointer, not " +
               py::str(py::type::handle_of(Argument).attr("__name__")).cast<std::string>());
  }
  return py::str(Argument).cast<std::string>();
}

std::shared_ptr<CallSession> Op(const py::object& Board, const std::string& Slot,
                                const py::args& Args, const py::object& Faults,
                                const std::string& Form, const py::object& Image,
                                const py::object& Pads) {
  std::vector<std::string> words;
  for (const py::handle argument : Args) {
    words.push_back(SlotWord(argument));
  }
  auto session =
      std::make_shared<CallSession>(OptionsOf(Board, Faults, Form, Image, Pads), Slot, words);
  py::gil_scoped_release free;
  session->Run();
  return session;
}

const tools::PmicSlot& SlotOf(const CallSession& S) {
  return tools::PmicSlots[S.Request().Slot];
}

// The slot's value by name when it returns an EFI_STATUS.
std::optional<std::string> StatusOf(const CallSession& S) {
  const std::optional<uint32_t>& returned = S.Result().Returned;
  if (!returned || SlotOf(S).Signature().Returns != tools::SlotReturn::Status) {
    return std::nullopt;
  }
  return tools::StatusName(*returned);
}

} // namespace

void AddOp(py::module_& m) {
  py::class_<CallSession, BoardSession, std::shared_ptr<CallSession>>(
      m, "Call",
      "GetActivePmic and one slot of the descriptor it returns, as boardsim op calls them.")
      .def_property_readonly("slot",
                             [](const CallSession& S) { return std::string(SlotOf(S).Name); })
      .def_property_readonly("returned", [](const CallSession& S) { return S.Result().Returned; })
      .def_property_readonly("returned_text",
                             [](const CallSession& S) {
                               const auto& returned = S.Result().Returned;
                               return returned ? std::optional(FormatReturned(
                                                     SlotOf(S).Signature().Returns, *returned))
                                               : std::nullopt;
                             })
      .def_property_readonly("status", &StatusOf)
      .def_property_readonly("stored", [](const CallSession& S) { return S.Result().Stored; })
      .def_property_readonly("called", [](const CallSession& S) { return S.Result().Called; })
      .def_property_readonly("variant",
                             [](const CallSession& S) {
                               return S.Result().Selected ? std::optional(S.Result().VariantId)
                                                          : std::nullopt;
                             })
      .def("__repr__", [](const CallSession& S) {
        const auto& returned = S.Result().Returned;
        return "<Call " + S.Board().Config.Name + " " + SlotOf(S).Name + " " +
               (returned ? FormatReturned(SlotOf(S).Signature().Returns, *returned)
                         : std::string("did not return")) +
               ">";
      });
  m.def("op", &Op, py::arg("board"), py::arg("slot"), py::arg("faults") = py::tuple(),
        py::arg("form") = "image", py::arg("image") = py::none(), py::arg("pads") = py::none(),
        "Calls one PMIC slot on a board; see docs/python.md.");
}

} // namespace boardsim::python

#include "tools/boardsim/python/PyErrors.h"

#include <array>

namespace py = pybind11;

namespace boardsim::python {

namespace {

struct ErrorClass {
  ErrorKind Kind;
  const char* Name;
  const char* Doc;
};

constexpr std::array<ErrorClass, 8> Classes{{
    {ErrorKind::Board, "BoardError", "A board name or board file that cannot be used."},
    {ErrorKind::Fault, "FaultError",
     "A fault point that does not parse or that the board cannot carry."},
    {ErrorKind::Image, "ImageError", "An image or linker map that cannot be read."},
    {ErrorKind::Slot, "SlotError", "A PMIC slot name or arguments its signature refuses."},
    {ErrorKind::Pad, "PadError", "A pad named otherwise than community:number."},
    {ErrorKind::Expect, "ExpectError", "An expectation file that cannot be read or means nothing."},
    {ErrorKind::Sweep, "SweepError", "Sweep arguments that name nothing to sweep."},
    {ErrorKind::Usage, "UsageError", "An argument of the wrong kind or value."},
}};

// Created once when the module is imported and kept for the life of the interpreter.
PyObject* BaseClass = nullptr;
std::array<PyObject*, Classes.size()> KindClasses{};

PyObject* NewClass(const char* Name, const char* Doc, PyObject* Bases) {
  const std::string qualified = std::string("boardsim.") + Name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), Doc, Bases, nullptr);
  if (type == nullptr) {
    throw py::error_already_set();
  }
  return type;
}

void Raise(PyObject* Class, const tools::ToolError& Error) {
  py::object instance = py::reinterpret_borrow<py::object>(Class)(Error.what());
  instance.attr("exit_status") = Error.ExitStatus();
  PyErr_SetObject(Class, instance.ptr());
}

} // namespace

void Refuse(ErrorKind Kind, const std::string& Message) {
  throw KindedError(Kind, "boardsim: " + Message, tools::ExitBadInput);
}

void AddErrors(py::module_& Module) {
  BaseClass = NewClass("Error",
                       "What the command line would refuse with one line; exit_status is the "
                       "status it would end with.",
                       PyExc_Exception);
  Module.add_object("Error", py::handle(BaseClass));
  for (size_t i = 0; i < Classes.size(); ++i) {
    // A wrong argument is also a ValueError, as Python's own functions raise.
    py::tuple bases = Classes[i].Kind == ErrorKind::Usage
                          ? py::make_tuple(py::handle(BaseClass), py::handle(PyExc_ValueError))
                          : py::make_tuple(py::handle(BaseClass));
    KindClasses[i] = NewClass(Classes[i].Name, Classes[i].Doc, bases.ptr());
    Module.add_object(Classes[i].Name, py::handle(KindClasses[i]));
  }
  py::register_exception_translator([](std::exception_ptr Thrown) {
    try {
      if (Thrown) {
        std::rethrow_exception(Thrown);
      }
    } catch (const KindedError& error) {
      Raise(KindClasses[static_cast<size_t>(error.Kind())], error);
    } catch (const tools::ToolError& error) {
      Raise(BaseClass, error);
    }
  });
}

} // namespace boardsim::python

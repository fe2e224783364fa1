// boardsim._boardsim: the tool's core seen from Python; the package boardsim re-exports it
// (boardsim/__init__.py) and adds what is written in Python.
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyInstallation.h"
#include "tools/boardsim/python/PyRun.h"
#include "tools/boardsim/python/PyViews.h"

PYBIND11_MODULE(_boardsim, m) {
  m.doc() = "boardsim's boots, slot calls and sweeps, in process; see docs/python.md.";
  // Found now, while the path the module was loaded from is still the one it names.
  boardsim::python::Where();
  boardsim::python::AddErrors(m);
  boardsim::python::AddViews(m);
  boardsim::python::AddBoards(m);
  boardsim::python::AddRun(m);
  boardsim::python::AddOp(m);
  boardsim::python::AddExpect(m);
  boardsim::python::AddSweep(m);
}

// run() and the Run it gives, with the Result views a Call shares; op() and the Call; the
// boards; the expectation check; the sweep. Each adds its part to the module.
#pragma once

#include "tools/boardsim/python/PySession.h"

#include <pybind11/pybind11.h>

#include <string>

namespace boardsim::python {

// The command line's JSON document of a boot or a call, as --json prints it.
std::string JsonText(BoardSession& Session);

void AddRun(pybind11::module_& Module);
void AddOp(pybind11::module_& Module);
void AddBoards(pybind11::module_& Module);
void AddExpect(pybind11::module_& Module);
void AddSweep(pybind11::module_& Module);

} // namespace boardsim::python

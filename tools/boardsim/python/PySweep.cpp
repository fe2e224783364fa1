// sweep(): every fault at every point of the boards' boots and slot calls, as boardsim sweep.
#include "tools/boardsim/python/PyRun.h"

namespace py = pybind11;

namespace boardsim::python {

void AddSweep(py::module_&) {}

} // namespace boardsim::python

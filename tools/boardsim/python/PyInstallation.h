// Where the Python module finds the built-in boards and the image it runs by default: in the
// prefix it is installed in (<prefix>/lib/python3/dist-packages/boardsim beside
// <prefix>/share/boardinit/), else in the build tree that made it, as the tool does.
#pragma once

#include "tools/boardsim/cli/Installation.h"

namespace boardsim::python {

// Found once, when the module is imported.
const Installation& Where();

} // namespace boardsim::python

// The arguments run(), op() and sweep() share, turned into the options the command line fills:
// a board by name, path or Board; fault points; the form; the pads. A wrong one is refused in one
// line naming the argument, as the command line names its option.
#pragma once

#include "tools/boardsim/session/RunOptions.h"

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

namespace boardsim::python {

// A board name, a path (str or os.PathLike), or a Board.
std::string BoardArgument(const pybind11::handle& Board, const char* Argument = "board");

// A path, as str or os.PathLike.
std::string PathArgument(const pybind11::handle& Path, const char* Argument);

// One str, or an iterable of str (a lone string is one item, not its characters).
std::vector<std::string> Strings(const pybind11::handle& Items, const char* Argument);

// "image" or "host": whether the host build runs.
bool HostForm(const std::string& Form);

// None, or a path of an image to run; refused beside the host form.
std::optional<std::string> ImageArgument(const pybind11::handle& Image, bool Host);

RunOptions OptionsOf(const pybind11::handle& Board, const pybind11::handle& Faults,
                     const std::string& Form, const pybind11::handle& Image,
                     const pybind11::handle& Pads);

} // namespace boardsim::python

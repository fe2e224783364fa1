// Board.load() and boards(): board files read as every command reads them.
#include "common/Printable.h"
#include "tools/boardsim/python/PyArguments.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyInstallation.h"
#include "tools/boardsim/python/PyRun.h"
#include "tools/boardsim/session/BoardInput.h"

#include <pybind11/stl.h>

#include <map>

namespace py = pybind11;

namespace boardsim::python {

namespace {

LoadedBoard Load(const py::handle& NameOrPath) {
  const std::string board = BoardArgument(NameOrPath, "path_or_name");
  return Classified(ErrorKind::Board, [&] { return LoadBoard(board, Where().BoardsDir); });
}

std::vector<LoadedBoard> Boards() {
  return Classified(ErrorKind::Board, [] {
    std::vector<LoadedBoard> boards;
    for (const std::string& name : BuiltInBoardNames(Where().BoardsDir)) {
      boards.push_back(LoadBoard(name, Where().BoardsDir));
    }
    return boards;
  });
}

// The board file's faults by their keys, with the values given.
std::map<std::string, std::string> GivenFaults(const LoadedBoard& Board) {
  std::map<std::string, std::string> faults;
  for (const sim::GivenFault& fault : Board.Config.GivenFaults) {
    faults.emplace(fault.Key, fault.Value);
  }
  return faults;
}

} // namespace

void AddBoards(py::module_& m) {
  py::class_<LoadedBoard>(m, "Board", "A board file, read and checked; run() and op() take one.")
      .def_static("load", &Load, py::arg("path_or_name"),
                  "A built-in board by name, or a board file by path.")
      .def_property_readonly("name", [](const LoadedBoard& B) { return B.Config.Name; })
      .def_readonly("path", &LoadedBoard::Path)
      .def_property_readonly("description",
                             [](const LoadedBoard& B) { return B.Config.Description; })
      .def_property_readonly("faults", &GivenFaults)
      .def("__fspath__", [](const LoadedBoard& B) { return B.Path; })
      .def("__repr__", [](const LoadedBoard& B) {
        return "<Board " + tools::Printable(B.Config.Name) + " (" + tools::Printable(B.Path) + ")>";
      });
  m.def("boards", &Boards, "The built-in boards, in the order boardsim boards lists them.");
  m.def(
      "where", [] { return std::make_pair(Where().BoardsDir, Where().BuiltImage); },
      "The built-in boards' folder and the image run by default.");
}

} // namespace boardsim::python

#include "tools/boardsim/python/PyArguments.h"
#include "common/Printable.h"
#include "tools/boardsim/python/PyErrors.h"
#include "tools/boardsim/python/PyViews.h"
#include "tools/boardsim/session/BoardInput.h"

namespace py = pybind11;

namespace boardsim::python {

namespace {

// A str or an os.PathLike, as text.
std::optional<std::string> PathText(const py::handle& Value) {
  if (py::isinstance<py::str>(Value)) {
    return Value.cast<std::string>();
  }
  if (py::hasattr(Value, "__fspath__")) {
    const py::object path = py::module_::import("os").attr("fspath")(Value);
    if (py::isinstance<py::str>(path)) {
      return path.cast<std::string>();
    }
  }
  return std::nullopt;
}

std::string TypeName(const py::handle& Value) {
  return py::str(py::type::handle_of(Value).attr("__name__")).cast<std::string>();
}

} // namespace

std::string BoardArgument(const py::handle& Board, const char* Argument) {
  if (py::isinstance<LoadedBoard>(Board)) {
    return Board.cast<const LoadedBoard&>().Path;
  }
  if (const std::optional<std::string> text = PathText(Board)) {
    return *text;
  }
  Refuse(ErrorKind::Usage,
         std::string(Argument) + ": a board name, a path or a Board, not " + TypeName(Board));
}

std::string PathArgument(const py::handle& Path, const char* Argument) {
  const std::optional<std::string> path = PathText(Path);
  if (!path) {
    Refuse(ErrorKind::Usage, std::string(Argument) + ": a path, not " + TypeName(Path));
  }
  return *path;
}

std::vector<std::string> Strings(const py::handle& Items, const char* Argument) {
  if (Items.is_none()) {
    return {};
  }
  if (py::isinstance<py::str>(Items)) {
    return {Items.cast<std::string>()};
  }
  if (!py::isinstance<py::iterable>(Items)) {
    Refuse(ErrorKind::Usage,
           std::string(Argument) + ": a string or strings, not " + TypeName(Items));
  }
  std::vector<std::string> strings;
  for (const py::handle item : Items) {
    if (!py::isinstance<py::str>(item)) {
      Refuse(ErrorKind::Usage,
             std::string(Argument) + ": each item a string, not " + TypeName(item));
    }
    strings.push_back(item.cast<std::string>());
  }
  return strings;
}

bool HostForm(const std::string& Form) {
  if (Form != "image" && Form != "host") {
    Refuse(ErrorKind::Usage, "form: '" + tools::Printable(Form) + "' is neither image nor host");
  }
  return Form == "host";
}

std::optional<std::string> ImageArgument(const py::handle& Image, bool Host) {
  if (Image.is_none()) {
    return std::nullopt;
  }
  const std::string path = PathArgument(Image, "image");
  if (Host) {
    Refuse(ErrorKind::Usage, "image: names an image, but the form is host");
  }
  return path;
}

RunOptions OptionsOf(const py::handle& Board, const py::handle& Faults, const std::string& Form,
                     const py::handle& Image, const py::handle& Pads) {
  RunOptions options;
  options.Board = BoardArgument(Board);
  options.Faults = Strings(Faults, "faults");
  options.Host = HostForm(Form);
  options.ImagePath = ImageArgument(Image, options.Host);
  if (!Pads.is_none()) {
    // As --pads takes them: "changed" first keeps, of the pads named (none: every pad the run
    // accessed), those the run changed.
    std::vector<std::string> names = Strings(Pads, "pads");
    if (!names.empty() && names.front() == "changed") {
      options.PadsChangedOnly = true;
      names.erase(names.begin());
    }
    std::vector<PadRef> pads;
    for (const std::string& name : names) {
      pads.push_back(PadOf(name, "pads"));
    }
    options.Pads = std::move(pads);
  }
  return options;
}

} // namespace boardsim::python

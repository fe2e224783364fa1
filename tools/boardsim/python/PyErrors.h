// The command line's errors as Python exceptions: each keeps the tool's one line and its exit
// status (exit_status), and its class says what was wrong: boardsim.BoardError for a board file,
// FaultError for a fault point, and so on, all under boardsim.Error.
#pragma once

#include "common/ToolError.h"

#include <pybind11/pybind11.h>

#include <string>
#include <utility>

namespace boardsim::python {

enum class ErrorKind { Board, Fault, Image, Slot, Pad, Expect, Sweep, Usage };

// A tool error with what it is about.
class KindedError : public tools::ToolError {
public:
  KindedError(ErrorKind Kind, const std::string& Message, int ExitStatus)
      : tools::ToolError(Message, ExitStatus), kind_(Kind) {}
  ErrorKind Kind() const { return kind_; }

private:
  ErrorKind kind_;
};

// Bad input to a call from Python, said the way the command line says its own.
[[noreturn]] void Refuse(ErrorKind Kind, const std::string& Message);

// Body's result; a tools::ToolError it throws leaves as a KindedError of Kind (one already kinded
// keeps its kind).
template <typename Body> auto Classified(ErrorKind Kind, Body&& Run) -> decltype(Run()) {
  try {
    return std::forward<Body>(Run)();
  } catch (const KindedError&) {
    throw;
  } catch (const tools::ToolError& error) {
    throw KindedError(Kind, error.what(), error.ExitStatus());
  }
}

// The exception classes and the translation of tools::ToolError into them.
void AddErrors(pybind11::module_& Module);

} // namespace boardsim::python

// Runs the emulated image in a child process. The CPU emulator is a library of its own whose
// internal errors end in abort(); whatever it does, the tool must still end with one line and an
// exit status, so the emulation never runs in the tool's own process.
#pragma once

#include <functional>

namespace boardsim {

// Runs Body in a child process and returns the exit status it returned. A tools::ToolError
// thrown in the child is printed there and ends it with its status. A child that dies of a
// signal, or that the emulator ends itself (its own exit, with its own message), is reported as
// a module that did not return (tools::ToolError, exit 1, the emulator's first line quoted);
// otherwise what it wrote to standard error is passed on once it has ended. The child dies with
// the tool: a signal that ends the tool ends it first (common/files/Signals.h), and even SIGKILL
// takes it along.
int RunContained(const std::function<int()>& Body);

} // namespace boardsim

// The tools' one error type: a message for the user and the process exit status to end with.
#pragma once

#include "common/Printable.h"

#include <stdexcept>
#include <string>

namespace tools {

// Exit statuses: 1 for a run that went wrong on the board, 2 for bad input (flags, files), 3 for
// output that could not be written (a closed pipe, a full disk, a closed descriptor).
constexpr int ExitRunFailed = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitWriteFailed = 3;

// The message is made safe for a terminal here, whatever its parts: an error is always one line.
class ToolError : public std::runtime_error {
public:
  ToolError(const std::string& Message, int ExitStatus)
      : std::runtime_error(Printable(Message, Backslashes::Keep)), exitStatus_(ExitStatus) {}
  int ExitStatus() const { return exitStatus_; }

private:
  int exitStatus_;
};

} // namespace tools

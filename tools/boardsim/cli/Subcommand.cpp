#include "tools/boardsim/cli/Subcommand.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "sim/faults/FaultKinds.h"

#include <stdexcept>

namespace boardsim {

const char* const ExitStatuses =
    "Exit status: 0 done; 1 the module did not return, a slot is not offered, or a sweep\n"
    "found failures; 2 bad input (one line naming the file and the position); 3 an output could\n"
    "not be written.";

void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

bool IsFaultPoint(const std::string& Word) {
  try {
    sim::ParseFaultPoint(Word);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

std::string Unexpected(const std::string& Word, const std::string& Command) {
  return "unexpected argument '" + tools::Printable(Word) + "'" +
         (IsFaultPoint(Word) ? ": each fault point needs its own --fault"
                             : " (see boardsim " + Command + " --help)");
}

void RefuseTail(const std::vector<std::string>& Tail, const std::string& Command) {
  if (!Tail.empty()) {
    BadInput(Unexpected(Tail.front(), Command));
  }
}

} // namespace boardsim

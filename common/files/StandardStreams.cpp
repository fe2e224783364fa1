#include "common/files/StandardStreams.h"

#include "common/ToolError.h"
#include "common/files/DescriptorBuffer.h"
#include "common/files/Signals.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace files {

namespace {
// Standard output and error, once SetUpStandardStreams has run; never destroyed, since the
// standard streams are flushed after static objects are gone.
DescriptorBuffer* standardBuffers[3] = {};
} // namespace

const char* ProgramName() {
  return program_invocation_short_name;
}

void SetUpStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
  CleanUpOnSignals();
  int closed[3] = {};
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      closed[fd] = EBADF;
      // The lowest free number: this one. Held so that a file opened later cannot be it.
      if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
        std::_Exit(tools::ExitWriteFailed);
      }
    }
  }
  standardBuffers[1] = new DescriptorBuffer(1, closed[1]);
  standardBuffers[2] = new DescriptorBuffer(2, closed[2]);
  std::cout.rdbuf(standardBuffers[1]);
  std::cerr.rdbuf(standardBuffers[2]);
}

int StandardOutputError() {
  return standardBuffers[1] != nullptr ? standardBuffers[1]->Error() : 0;
}

void CheckStandardOutput() {
  if (standardBuffers[1] == nullptr) {
    return;
  }
  std::cout.flush();
  if (standardBuffers[1]->Error() != 0) {
    throw tools::ToolError(std::string(ProgramName()) + ": cannot write to standard output: " +
                               std::strerror(standardBuffers[1]->Error()),
                           tools::ExitWriteFailed);
  }
}

int FinalStatus(int Status) {
  if (standardBuffers[1] == nullptr) {
    return Status;
  }
  try {
    CheckStandardOutput();
  } catch (const tools::ToolError& error) {
    if (Status != tools::ExitWriteFailed) {
      std::cerr << error.what() << '\n';
    }
    Status = tools::ExitWriteFailed;
  }
  std::cerr.flush();
  return standardBuffers[2]->Error() != 0 && Status == 0 ? tools::ExitWriteFailed : Status;
}

} // namespace files

#include "tools/boardsim/shared/Contained.h"

#include "tools/run/Printable.h"
#include "tools/run/ToolError.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace boardsim {

namespace {

// What is buffered now would otherwise be written twice, once by each process.
void FlushAll() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

[[noreturn]] void RunChild(const std::function<int()>& Body) {
  int status = tools::ExitRunFailed;
  try {
    status = Body();
  } catch (const tools::ToolError& error) {
    std::cerr << error.what() << '\n';
    status = error.ExitStatus();
  } catch (const std::exception& error) {
    std::cerr << tools::Printable(std::string("boardsim: ") + error.what(),
                                  tools::Backslashes::Keep)
              << '\n';
  }
  FlushAll();
  // Not exit(): the parent's static objects and handlers are the parent's to run.
  _exit(status);
}

[[noreturn]] void FailSystemCall(const char* What) {
  throw tools::ToolError(std::string("boardsim: ") + What + ": " + std::strerror(errno),
                         tools::ExitRunFailed);
}

std::string ReadAll(int Fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(Fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;
    }
  }
}

} // namespace

int RunContained(const std::function<int()>& Body) {
  FlushAll();
  // The child's standard error passes through the parent: what the emulator prints as it dies is
  // not the tool's one line, so it is kept back when the child dies of a signal.
  int errors[2];
  if (pipe(errors) != 0) {
    FailSystemCall("cannot start the image runner");
  }
  const pid_t child = fork();
  if (child < 0) {
    close(errors[0]);
    close(errors[1]);
    FailSystemCall("cannot start the image runner");
  }
  if (child == 0) {
    close(errors[0]);
    dup2(errors[1], STDERR_FILENO);
    close(errors[1]);
    RunChild(Body);
  }
  close(errors[1]);
  const std::string childErrors = ReadAll(errors[0]);
  close(errors[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      FailSystemCall("lost the image runner");
    }
  }
  if (WIFEXITED(status)) {
    std::cerr << childErrors << std::flush;
    return WEXITSTATUS(status);
  }
  const int number = WTERMSIG(status);
  throw tools::ToolError("boardsim: the module did not return: the CPU emulator died (signal " +
                             std::to_string(number) + ", " + strsignal(number) + ")",
                         tools::ExitRunFailed);
}

} // namespace boardsim

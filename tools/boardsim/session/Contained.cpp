#include "tools/boardsim/session/Contained.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/Signals.h"

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

// Ended is written to once the body has run: a child that ends without it was ended by the
// emulator itself (an exit() of its own, with its own message).
[[noreturn]] void RunChild(const std::function<int()>& Body, int Ended) {
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
  const char ended = 1;
  [[maybe_unused]] const ssize_t written = write(Ended, &ended, 1);
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
  int ended[2];
  if (pipe(errors) != 0) {
    FailSystemCall("cannot start the image runner");
  }
  if (pipe(ended) != 0) {
    close(errors[0]);
    close(errors[1]);
    FailSystemCall("cannot start the image runner");
  }
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    for (const int fd : {errors[0], errors[1], ended[0], ended[1]}) {
      close(fd);
    }
    FailSystemCall("cannot start the image runner");
  }
  if (child == 0) {
    files::DieWithParent(parent);
    close(errors[0]);
    close(ended[0]);
    dup2(errors[1], STDERR_FILENO);
    close(errors[1]);
    RunChild(Body, ended[1]);
  }
  files::WatchChild(child);
  close(errors[1]);
  close(ended[1]);
  const std::string childErrors = ReadAll(errors[0]);
  close(errors[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      FailSystemCall("lost the image runner");
    }
  }
  files::ForgetChild(child);
  char byte = 0;
  const bool reported = read(ended[0], &byte, 1) == 1;
  close(ended[0]);
  if (WIFEXITED(status) && reported) {
    std::cerr << childErrors << std::flush;
    return WEXITSTATUS(status);
  }
  if (WIFEXITED(status)) {
    // The emulator ended the process with a message of its own (out of memory, for one).
    const std::string said = childErrors.substr(0, childErrors.find('\n'));
    throw tools::ToolError("boardsim: the module did not return: the CPU emulator ended the run "
                           "(exit status " +
                               std::to_string(WEXITSTATUS(status)) + ")" +
                               (said.empty() ? "" : ": " + tools::Printable(said)),
                           tools::ExitRunFailed);
  }
  const int number = WTERMSIG(status);
  throw tools::ToolError("boardsim: the module did not return: the CPU emulator died (signal " +
                             std::to_string(number) + ", " + strsignal(number) + ")",
                         tools::ExitRunFailed);
}

} // namespace boardsim

#include "common/files/Signals.h"

#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace files {

namespace {

constexpr int EndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
// A tool writes a few outputs and runs a few children at once; more are not watched.
constexpr size_t MaxWatched = 16;

// Read by the handler, which may only use what is async-signal-safe: fixed storage and atomics.
struct Temporary {
  enum State : int { Free, Claimed, Ready };
  std::atomic<int> Now{Free};
  char Path[PATH_MAX] = {};
};
std::array<Temporary, MaxWatched> temporaries;
std::array<std::atomic<pid_t>, MaxWatched> children{};
std::atomic<bool> committing{false};

void Arm(int Signal);

void OnEndingSignal(int Signal) {
  const int savedErrno = errno;
  if (committing.load()) {
    // An output has replaced its file already: ending now would leave some outputs new and
    // others old. The run goes on to its end; a later signal is let go the same way.
    Arm(Signal);
    errno = savedErrno;
    return;
  }
  for (std::atomic<pid_t>& slot : children) {
    if (const pid_t child = slot.exchange(0); child > 0) {
      kill(child, SIGKILL);
      while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  for (Temporary& temporary : temporaries) {
    if (temporary.Now.load() == Temporary::Ready) {
      unlink(temporary.Path);
    }
  }
  errno = savedErrno;
  // The handler was installed to run once: the signal raised again ends the process by it.
  raise(Signal);
}

void Arm(int Signal) {
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  action.sa_flags = SA_RESETHAND;
  sigfillset(&action.sa_mask);
  sigaction(Signal, &action, nullptr);
}

} // namespace

void CleanUpOnSignals() {
  for (const int signal : EndingSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
      continue;
    }
    Arm(signal);
  }
}

void OutputsCommitting() {
  committing.store(true);
}

int WatchTemporary(const std::string& Path) {
  if (Path.size() >= PATH_MAX) {
    return -1;
  }
  for (size_t i = 0; i < temporaries.size(); ++i) {
    Temporary& slot = temporaries[i];
    int free = Temporary::Free;
    if (slot.Now.compare_exchange_strong(free, Temporary::Claimed)) {
      std::memcpy(slot.Path, Path.c_str(), Path.size() + 1);
      slot.Now.store(Temporary::Ready);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ForgetTemporary(int Watched) {
  if (Watched >= 0) {
    temporaries[static_cast<size_t>(Watched)].Now.store(Temporary::Free);
  }
}

void WatchChild(pid_t Child) {
  for (std::atomic<pid_t>& slot : children) {
    pid_t free = 0;
    if (slot.compare_exchange_strong(free, Child)) {
      return;
    }
  }
}

void ForgetChild(pid_t Child) {
  for (std::atomic<pid_t>& slot : children) {
    pid_t watched = Child;
    slot.compare_exchange_strong(watched, 0);
  }
}

void DieWithParent(pid_t Parent) {
  for (std::atomic<pid_t>& slot : children) {
    slot.store(0);
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent) {
    _exit(128 + SIGKILL); // the parent is gone already
  }
}

} // namespace files

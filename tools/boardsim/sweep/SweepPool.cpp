#include "tools/boardsim/sweep/SweepPool.h"

#include "common/ToolError.h"
#include "common/files/Signals.h"

#include <malloc.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace boardsim {

namespace {

// Enough to show what went wrong; the reproducing command shows the rest.
constexpr size_t BadWritesReported = 16;

[[noreturn]] void FailSystemCall(const char* What) {
  throw tools::ToolError(std::string("boardsim: ") + What + ": " + std::strerror(errno),
                         tools::ExitRunFailed);
}

std::string Encode(size_t Index, const PointResult& Result) {
  nlohmann::json writes = nlohmann::json::array();
  for (size_t i = 0; i < Result.BadWrites.size() && i < BadWritesReported; ++i) {
    const sim::BadWrite& w = Result.BadWrites[i];
    writes.push_back({static_cast<int>(w.Kind), w.Seq, w.What});
  }
  const std::optional<sim::Strike>& struck = Result.Struck;
  return nlohmann::json{{"i", Index},
                        {"c", static_cast<int>(Result.Class)},
                        {"r", Result.Returned},
                        {"d", Result.Detail},
                        {"w", writes},
                        {"s", Result.StackUsed ? nlohmann::json(*Result.StackUsed) : nullptr},
                        {"k", struck ? nlohmann::json{struck->Access, struck->TimeNs} : nullptr},
                        {"m", Result.StrikeMissing}}
             .dump() +
         "\n";
}

std::pair<size_t, PointResult> Decode(const std::string& Line) {
  const nlohmann::json j = nlohmann::json::parse(Line);
  PointResult result{static_cast<PointClass>(j.at("c").get<int>()),
                     j.at("r").get<std::string>(),
                     j.at("d").get<std::string>(),
                     {},
                     {}};
  if (!j.at("s").is_null()) {
    result.StackUsed = j.at("s").get<uint32_t>();
  }
  if (!j.at("k").is_null()) {
    result.Struck =
        sim::Strike{{}, j.at("k").at(0).get<uint64_t>(), j.at("k").at(1).get<uint64_t>()};
  }
  result.StrikeMissing = j.at("m").get<bool>();
  for (const nlohmann::json& w : j.at("w")) {
    result.BadWrites.push_back({static_cast<sim::BadWriteKind>(w.at(0).get<int>()),
                                w.at(1).get<uint64_t>(), w.at(2).get<std::string>()});
  }
  return {j.at("i").get<size_t>(), std::move(result)};
}

void WriteAll(int Fd, const std::string& Text) {
  size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = write(Fd, Text.data() + done, Text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      _exit(3);
    }
    done += static_cast<size_t>(n);
  }
}

// A worker runs thousands of points, and a point that keeps a long trace asks for its largest
// storage at once. Served by mmap, every such block came back zeroed and page by page, faulting
// each page in again for every point: a tenth to a fifth of a host sweep's time. From the heap
// and never trimmed, the pages a worker has touched stay its own for the next point.
void KeepFreedMemory() {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

struct Worker {
  pid_t Pid = -1;
  int Fd = -1;
  size_t Next = 0; // the next point it will report
  std::string Pending;
};

Worker Start(size_t First, size_t Count, unsigned Stride,
             const std::function<PointResult(size_t)>& Run) {
  int fds[2];
  if (pipe(fds) != 0) {
    FailSystemCall("pipe");
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    FailSystemCall("fork");
  }
  if (pid == 0) {
    files::DieWithParent(parent);
    close(fds[0]);
    KeepFreedMemory();
    for (size_t i = First; i < Count; i += Stride) {
      PointResult result;
      try {
        result = Run(i);
      } catch (const std::exception& error) {
        result = {PointClass::Crashed, {}, std::string("the run threw: ") + error.what(), {}, {}};
      }
      WriteAll(fds[1], Encode(i, result));
    }
    _exit(0);
  }
  files::WatchChild(pid);
  close(fds[1]);
  return {pid, fds[0], First, {}};
}

std::string DeathOf(int Status) {
  if (WIFSIGNALED(Status)) {
    const int signal = WTERMSIG(Status);
    const char* name = sigabbrev_np(signal);
    return "the run's process died of signal " + std::to_string(signal) + " (SIG" +
           (name != nullptr ? name : "?") + ")";
  }
  return "the run's process ended with status " + std::to_string(WEXITSTATUS(Status)) +
         " before reporting";
}

class ProgressBar {
public:
  ProgressBar(bool On, size_t Total) : on_(On && isatty(STDERR_FILENO)), total_(Total) {}
  void Show(size_t Done) {
    constexpr size_t Width = 40;
    const size_t filled = total_ == 0 ? Width : Done * Width / total_;
    if (!on_ || filled == shown_) {
      return;
    }
    shown_ = filled;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(Width - filled, ' ') << "] "
              << Done << "/" << total_ << std::flush;
  }
  ~ProgressBar() {
    if (on_) {
      std::cerr << "\r\033[K" << std::flush;
    }
  }

private:
  bool on_;
  size_t total_;
  size_t shown_ = SIZE_MAX;
};

} // namespace

std::vector<PointResult> RunInWorkers(size_t Count, unsigned Jobs,
                                      const std::function<PointResult(size_t)>& Run,
                                      bool Progress) {
  std::vector<PointResult> results(Count);
  const unsigned stride = std::max(1u, Jobs);
  std::vector<Worker> workers;
  for (unsigned w = 0; w < stride && w < Count; ++w) {
    workers.push_back(Start(w, Count, stride, Run));
  }
  ProgressBar bar(Progress, Count);
  size_t done = 0;
  bar.Show(done);
  while (!workers.empty()) {
    std::vector<pollfd> fds;
    for (const Worker& worker : workers) {
      fds.push_back({worker.Fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      FailSystemCall("poll");
    }
    for (size_t k = workers.size(); k-- > 0;) {
      if (fds[k].revents == 0) {
        continue;
      }
      Worker& worker = workers[k];
      char buffer[65536];
      const ssize_t n = read(worker.Fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n > 0) {
        worker.Pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = worker.Pending.find('\n')) != std::string::npos;) {
          auto [index, result] = Decode(worker.Pending.substr(0, end));
          worker.Pending.erase(0, end + 1);
          results.at(index) = std::move(result);
          worker.Next = index + stride;
          bar.Show(++done);
        }
        continue;
      }
      // End of its reports: finished, or died on the point it was running.
      close(worker.Fd);
      int status = 0;
      while (waitpid(worker.Pid, &status, 0) < 0 && errno == EINTR) {
      }
      files::ForgetChild(worker.Pid);
      const size_t died = worker.Next;
      workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(k));
      if (died < Count) {
        results[died] = {PointClass::Crashed, {}, DeathOf(status), {}, {}};
        bar.Show(++done);
        if (died + stride < Count) {
          workers.push_back(Start(died + stride, Count, stride, Run));
        }
      }
      break; // the poll set changed
    }
  }
  return results;
}

} // namespace boardsim

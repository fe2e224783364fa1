#include "emu/GdbClientWatch.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace emu {

GdbServer::ClientWatch::ClientWatch(GdbServer& Server) : server_(Server) {
  if (pipe(wake_) != 0) {
    throw std::runtime_error(std::string("GDB server: ") + std::strerror(errno));
  }
  watcher_ = std::thread([this] { Watch(); });
}

GdbServer::ClientWatch::~ClientWatch() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  watcher_.join();
  close(wake_[0]);
  close(wake_[1]);
  if (gone_) {
    server_.connected_ = false;
  }
}

void GdbServer::ClientWatch::Watch() {
  GdbServer& s = server_;
  // Once a Ctrl-C has asked, or the client has gone, its socket is left alone (poll skips a
  // negative descriptor): what follows waits there for Serve.
  pollfd fds[3] = {{wake_[0], POLLIN, 0},
                   {s.interruptRequested_ ? -1 : s.client_, POLLIN, 0},
                   {s.listening_, POLLIN, 0}};
  while (poll(fds, s.listening_ >= 0 ? 3 : 2, -1) >= 0 || errno == EINTR) {
    if ((fds[0].revents & POLLIN) != 0) {
      return;
    }
    if ((fds[2].revents & POLLIN) != 0) {
      s.RefuseOtherClient();
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
      continue;
    }
    if (!s.Receive()) {
      gone_ = true;
      fds[1].fd = -1;
    } else if (s.reader_.TakeInterrupt()) {
      s.interruptRequested_ = true;
      fds[1].fd = -1;
    }
  }
}

} // namespace emu

// While the module runs for GDB, a thread reads the client's socket, so that a Ctrl-C asks the
// run to stop, and closes any other client at once. The reader is the watcher's until the watch
// ends, and the packets it collects wait for Serve. A client that has gone is no longer connected
// once the watch ends: the run goes on, as after a detach.
#pragma once

#include "emu/GdbServer.h"

#include <atomic>
#include <thread>

namespace emu {

class GdbServer::ClientWatch {
public:
  explicit ClientWatch(GdbServer& Server);
  ~ClientWatch();
  ClientWatch(const ClientWatch&) = delete;
  ClientWatch& operator=(const ClientWatch&) = delete;

private:
  void Watch();

  GdbServer& server_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> gone_{false};
  std::thread watcher_;
};

} // namespace emu

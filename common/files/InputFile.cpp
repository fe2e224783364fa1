#include "common/files/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace files {

namespace {

std::string SizeText(uint64_t Bytes) {
  constexpr uint64_t MiB = 1 << 20;
  constexpr uint64_t KiB = 1 << 10;
  if (Bytes >= MiB && Bytes % MiB == 0) {
    return std::to_string(Bytes / MiB) + " MiB";
  }
  if (Bytes >= KiB && Bytes % KiB == 0) {
    return std::to_string(Bytes / KiB) + " KiB";
  }
  return std::to_string(Bytes) + " bytes";
}

std::string KindOf(mode_t Mode) {
  if (S_ISDIR(Mode)) {
    return "is a directory";
  }
  if (S_ISFIFO(Mode)) {
    return "is a FIFO, not a regular file";
  }
  if (S_ISSOCK(Mode)) {
    return "is a socket, not a regular file";
  }
  return "is a device, not a regular file";
}

class Descriptor {
public:
  explicit Descriptor(int Fd) : fd_(Fd) {}
  ~Descriptor() { close(fd_); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Fd() const { return fd_; }

private:
  int fd_;
};

} // namespace

std::vector<uint8_t> ReadInput(const std::string& Path, uint64_t Limit, const std::string& What) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer.
  const int fd = open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    throw InputError(std::string("cannot open: ") + std::strerror(errno));
  }
  const Descriptor file(fd);
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    throw InputError(std::string("cannot read: ") + std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    throw InputError(KindOf(status.st_mode));
  }
  const std::string tooLarge = "is larger than " + SizeText(Limit) + ", too large for " + What;
  if (static_cast<uint64_t>(status.st_size) > Limit) {
    throw InputError(tooLarge);
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size) + 1);
  size_t held = 0;
  for (;;) {
    if (held == bytes.size()) {
      if (held > Limit) {
        throw InputError(tooLarge);
      }
      bytes.resize(std::min<uint64_t>(Limit + 1, 2 * held));
    }
    const ssize_t got = read(fd, bytes.data() + held, bytes.size() - held);
    if (got > 0) {
      held += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      throw InputError(std::string("cannot read: ") + std::strerror(errno));
    }
  }
  if (held > Limit) {
    throw InputError(tooLarge);
  }
  bytes.resize(held);
  return bytes;
}

} // namespace files

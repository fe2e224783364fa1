// A stream buffer over a file descriptor that remembers the first error of write(2): an ofstream
// would only say that something failed, not that the pipe was closed or the disk full.
#pragma once

#include <array>
#include <streambuf>

namespace files {

class DescriptorBuffer : public std::streambuf {
public:
  explicit DescriptorBuffer(int Fd, int Error = 0) : fd_(Fd), error_(Error) {
    setp(bytes_.data(), bytes_.data() + bytes_.size());
  }

  int Fd() const { return fd_; }
  // The errno of the first write that failed, 0 while none has; after it, output is dropped.
  int Error() const { return error_; }

protected:
  int overflow(int_type C) override;
  int sync() override;

private:
  int fd_;
  int error_;
  std::array<char, 64 * 1024> bytes_{};
};

} // namespace files

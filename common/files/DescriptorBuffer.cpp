#include "common/files/DescriptorBuffer.h"

#include <unistd.h>

#include <cerrno>

namespace files {

int DescriptorBuffer::overflow(int_type C) {
  if (sync() != 0) {
    return traits_type::eof();
  }
  if (!traits_type::eq_int_type(C, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(C);
    pbump(1);
  }
  return traits_type::not_eof(C);
}

int DescriptorBuffer::sync() {
  const char* next = pbase();
  while (error_ == 0 && next < pptr()) {
    const ssize_t wrote = write(fd_, next, static_cast<size_t>(pptr() - next));
    if (wrote >= 0) {
      next += wrote;
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
  setp(bytes_.data(), bytes_.data() + bytes_.size());
  return error_ == 0 ? 0 : -1;
}

} // namespace files

#include "common/files/OutputFile.h"

#include "common/ToolError.h"
#include "common/files/Paths.h"
#include "common/files/Signals.h"
#include "common/files/StandardStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace files {

namespace {

// The temporary's name is the file's, cut to leave room for the suffix within the 255 bytes a
// name may have, so that any name a file may have can be written.
constexpr size_t KeptNameBytes = 200;
constexpr const char* TemporarySuffix = ".partial-XXXXXX";

std::string TemporaryPattern(const std::string& Target) {
  const std::filesystem::path target(Target);
  const std::string name = target.filename().string().substr(0, KeptNameBytes) + TemporarySuffix;
  return (target.parent_path() / name).string();
}

} // namespace

OutputFile::OutputFile(const std::string& Path, const std::string& What)
    : path_(Path), what_(What) {
  if (Path == "-") {
    stream_ = std::make_unique<std::ostream>(std::cout.rdbuf());
    return;
  }
  const auto cannot = [&](int Error) {
    throw tools::ToolError(std::string(ProgramName()) + ": cannot write " + What + " to " +
                               Named(Path) + ": " + std::strerror(Error),
                           tools::ExitBadInput);
  };
  target_ = FollowLinks(Path);
  struct stat status {};
  const bool exists = stat(target_.c_str(), &status) == 0;
  int fd = -1;
  if (exists && S_ISDIR(status.st_mode)) {
    cannot(EISDIR);
  }
  if (exists && !S_ISREG(status.st_mode)) {
    // A FIFO or a device has no contents to keep: it is written as the work goes.
    fd = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      cannot(errno);
    }
  } else {
    if (exists && access(target_.c_str(), W_OK) != 0) {
      cannot(errno);
    }
    std::string pattern = TemporaryPattern(target_);
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
      cannot(errno);
    }
    temporary_ = pattern;
    watched_ = WatchTemporary(temporary_);
    // The file that takes the path's place gets the mode the path had, or a new file's.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? status.st_mode & 07777 : 0666 & ~mask);
  }
  buffer_ = std::make_unique<DescriptorBuffer>(fd);
  stream_ = std::make_unique<std::ostream>(buffer_.get());
}

OutputFile::~OutputFile() {
  if (buffer_) {
    close(buffer_->Fd());
  }
  if (!finished_ && !temporary_.empty()) {
    unlink(temporary_.c_str());
  }
  ForgetTemporary(watched_);
}

std::ostream& OutputFile::Stream() {
  return *stream_;
}

void OutputFile::Finish() {
  stream_->flush();
  const int error = buffer_ ? buffer_->Error() : StandardOutputError();
  const auto fail = [&](int Error) {
    throw tools::ToolError(std::string(ProgramName()) + ": cannot write " + what_ + " to " +
                               Named(path_) + ": " + std::strerror(Error),
                           tools::ExitWriteFailed);
  };
  if (error != 0) {
    fail(error);
  }
  if (!stream_->good()) {
    fail(EIO);
  }
  if (!temporary_.empty()) {
    if (fsync(buffer_->Fd()) != 0) {
      fail(errno);
    }
    OutputsCommitting();
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
      fail(errno);
    }
    ForgetTemporary(watched_);
    watched_ = -1;
  }
  finished_ = true;
}

} // namespace files

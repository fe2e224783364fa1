#include "tools/boardsim/shared/Outputs.h"

#include "tools/run/Printable.h"
#include "tools/run/ToolError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <streambuf>

namespace boardsim {

// A stream buffer over a file descriptor that remembers the first error of write(2): an ofstream
// would only say that something failed, not that the pipe was closed or the disk full.
struct OutputFile::Buffer : std::streambuf {
  explicit Buffer(int Fd, int Error = 0) : fd(Fd), error(Error) {
    setp(bytes.data(), bytes.data() + bytes.size());
  }

  int overflow(int_type C) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(C, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(C);
      pbump(1);
    }
    return traits_type::not_eof(C);
  }

  int sync() override {
    const char* next = pbase();
    while (error == 0 && next < pptr()) {
      const ssize_t wrote = write(fd, next, static_cast<size_t>(pptr() - next));
      if (wrote >= 0) {
        next += wrote;
      } else if (errno != EINTR) {
        error = errno;
      }
    }
    setp(bytes.data(), bytes.data() + bytes.size()); // after an error, what follows is dropped
    return error == 0 ? 0 : -1;
  }

  int fd;
  int error;
  std::array<char, 64 * 1024> bytes{};
};

namespace {

[[noreturn]] void Refuse(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

std::string Named(const std::string& Path) {
  return Path == "-" ? "standard output" : tools::Printable(Path);
}

struct Identity {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  std::string Resolved; // of a path that does not exist yet
  bool operator==(const Identity&) const = default;
};

std::optional<Identity> IdentityOf(const std::string& Path) {
  struct stat status {};
  if (stat(Path.c_str(), &status) == 0) {
    if (S_ISCHR(status.st_mode)) {
      return std::nullopt; // /dev/null, a terminal: writing twice destroys no file
    }
    return Identity{true, status.st_dev, status.st_ino, {}};
  }
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(std::filesystem::absolute(Path, error), error);
  return Identity{false, 0, 0, resolved.string()};
}

} // namespace

namespace {
// Standard output and error, once SetUpStandardStreams has run; never destroyed, since the
// standard streams are flushed after static objects are gone.
OutputFile::Buffer* standardBuffers[3] = {};
} // namespace

void SetUpStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
  int closed[3] = {};
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      closed[fd] = EBADF;
      // The lowest free number: this one. Held so that a file opened later cannot be it.
      if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
        std::_Exit(ExitWriteFailed);
      }
    }
  }
  standardBuffers[1] = new OutputFile::Buffer(1, closed[1]);
  standardBuffers[2] = new OutputFile::Buffer(2, closed[2]);
  std::cout.rdbuf(standardBuffers[1]);
  std::cerr.rdbuf(standardBuffers[2]);
}

void CheckStandardOutput() {
  if (standardBuffers[1] == nullptr) {
    return;
  }
  std::cout.flush();
  if (standardBuffers[1]->error != 0) {
    throw tools::ToolError(std::string("boardsim: cannot write to standard output: ") +
                               std::strerror(standardBuffers[1]->error),
                           ExitWriteFailed);
  }
}

int FinalStatus(int Status) {
  if (standardBuffers[1] == nullptr) {
    return Status;
  }
  try {
    CheckStandardOutput();
  } catch (const tools::ToolError& error) {
    if (Status != ExitWriteFailed) {
      std::cerr << error.what() << '\n';
    }
    Status = ExitWriteFailed;
  }
  std::cerr.flush();
  return standardBuffers[2]->error != 0 && Status == 0 ? ExitWriteFailed : Status;
}

void RefuseSharedFiles(const std::vector<NamedFile>& Inputs,
                       const std::vector<NamedFile>& Outputs) {
  std::vector<std::pair<Identity, const NamedFile*>> seen;
  for (const NamedFile& input : Inputs) {
    if (const auto identity = input.Path == "-" ? std::nullopt : IdentityOf(input.Path)) {
      if (identity->Exists) {
        seen.emplace_back(*identity, &input);
      }
    }
  }
  const NamedFile standardOutput{"-", "standard output"};
  struct stat status {};
  if (fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
    const Identity identity{true, status.st_dev, status.st_ino, {}};
    for (const auto& [other, file] : seen) {
      if (other == identity) {
        Refuse("standard output is the " + file->What + " (" + Named(file->Path) +
               "); name another file");
      }
    }
    seen.emplace_back(identity, &standardOutput);
  }
  bool toStandardOutput = false;
  for (const NamedFile& output : Outputs) {
    if (output.Path == "-") {
      if (toStandardOutput) {
        Refuse(output.What + " and another output both go to standard output");
      }
      toStandardOutput = true;
      continue;
    }
    const auto identity = IdentityOf(output.Path);
    if (!identity) {
      continue;
    }
    for (const auto& [other, file] : seen) {
      if (other == *identity) {
        Refuse(Named(output.Path) + ": the " + output.What + " would overwrite " +
               (file->Path == "-" ? "standard output's file"
                                  : "the " + file->What + " (" + Named(file->Path) + ")") +
               "; name another file");
      }
    }
    seen.emplace_back(*identity, &output);
  }
}

OutputFile::OutputFile(const std::string& Path, const std::string& What)
    : path_(Path), what_(What) {
  if (Path == "-") {
    stream_ = std::make_unique<std::ostream>(std::cout.rdbuf());
    return;
  }
  const auto cannot = [&](int Error) {
    Refuse("cannot write " + What + " to " + Named(Path) + ": " + std::strerror(Error));
  };
  struct stat status {};
  const bool exists = stat(Path.c_str(), &status) == 0;
  int fd = -1;
  if (exists && S_ISDIR(status.st_mode)) {
    cannot(EISDIR);
  }
  if (exists && !S_ISREG(status.st_mode)) {
    // A FIFO or a device has no contents to keep: it is written as the run goes.
    fd = open(Path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      cannot(errno);
    }
  } else {
    if (exists && access(Path.c_str(), W_OK) != 0) {
      cannot(errno);
    }
    // Through a symbolic link the file it names is replaced, not the link.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(Path, error);
    target_ = exists && !error ? real.string() : Path;
    std::string pattern = target_ + ".partial-XXXXXX";
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
      cannot(errno);
    }
    temporary_ = pattern;
    // The file that takes the path's place gets the mode the path had, or a new file's.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? status.st_mode & 07777 : 0666 & ~mask);
  }
  buffer_ = std::make_unique<Buffer>(fd);
  stream_ = std::make_unique<std::ostream>(buffer_.get());
}

OutputFile::~OutputFile() {
  if (buffer_) {
    close(buffer_->fd);
  }
  if (!finished_ && !temporary_.empty()) {
    unlink(temporary_.c_str());
  }
}

std::ostream& OutputFile::Stream() {
  return *stream_;
}

void OutputFile::Finish() {
  stream_->flush();
  const int error = buffer_ ? buffer_->error : standardBuffers[1] ? standardBuffers[1]->error : 0;
  const auto fail = [&](int Error) {
    throw tools::ToolError("boardsim: cannot write " + what_ + " to " + Named(path_) + ": " +
                               std::strerror(Error),
                           ExitWriteFailed);
  };
  if (error != 0) {
    fail(error);
  }
  if (!stream_->good()) {
    fail(EIO);
  }
  if (!temporary_.empty()) {
    if (fsync(buffer_->fd) != 0 || rename(temporary_.c_str(), target_.c_str()) != 0) {
      fail(errno);
    }
  }
  finished_ = true;
}

} // namespace boardsim

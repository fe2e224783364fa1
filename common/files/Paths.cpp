#include "common/files/Paths.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/StandardStreams.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace files {

namespace {
// As many links as the kernel follows in one path before it says ELOOP.
constexpr int MaxLinks = 40;
} // namespace

std::string FollowLinks(const std::string& Path) {
  std::filesystem::path path = Path;
  for (int links = 0; links <= MaxLinks; ++links) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      return path.string();
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length < 0 || static_cast<size_t>(length) >= sizeof target) {
      return path.string(); // what opens it next says why it cannot
    }
    const std::filesystem::path next(std::string(target, static_cast<size_t>(length)));
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  throw tools::ToolError(std::string(ProgramName()) + ": " + Named(Path) +
                             ": too many levels of symbolic links",
                         tools::ExitBadInput);
}

std::string Named(const std::string& Path) {
  return Path == "-" ? "standard output" : tools::Printable(Path);
}

} // namespace files

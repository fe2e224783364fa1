#include "common/files/SharedFiles.h"

#include "common/ToolError.h"
#include "common/files/Paths.h"
#include "common/files/StandardStreams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <utility>

namespace files {

namespace {

[[noreturn]] void Refuse(const std::string& Message) {
  throw tools::ToolError(std::string(ProgramName()) + ": " + Message, tools::ExitBadInput);
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
      std::filesystem::weakly_canonical(std::filesystem::absolute(FollowLinks(Path), error), error);
  return Identity{false, 0, 0, resolved.string()};
}

} // namespace

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
        Refuse("the " + output.What + " and another output both go to standard output");
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

} // namespace files

#include "tools/boardsim/cli/Installation.h"

namespace boardsim {

Installation FindInstallation(const std::filesystem::path& Executable,
                              const Installation& Installed, const Installation& BuildTree) {
  const auto below = [&](const std::string& Relative) {
    return (Executable.parent_path() / Relative).lexically_normal();
  };
  const Installation here{below(Installed.BoardsDir).string(),
                          below(Installed.BuiltImage).string()};
  std::error_code error;
  if (std::filesystem::exists(here.BoardsDir, error) ||
      std::filesystem::exists(here.BuiltImage, error)) {
    return here;
  }
  return BuildTree;
}

} // namespace boardsim

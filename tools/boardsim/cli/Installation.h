// Where boardsim finds the built-in boards and the image it runs by default: in its own install
// prefix once installed (<prefix>/bin/boardsim beside <prefix>/share/boardinit/), else in the
// build tree that made it.
#pragma once

#include <filesystem>
#include <string>

namespace boardsim {

struct Installation {
  std::string BoardsDir;
  std::string BuiltImage; // its linker map and debug twin lie beside it
};

// Installed (its paths relative to the folder of Executable) when either of its paths exists
// there, so that a half-removed installation names its own missing file rather than running
// another build's image; otherwise BuildTree.
Installation FindInstallation(const std::filesystem::path& Executable,
                              const Installation& Installed, const Installation& BuildTree);

} // namespace boardsim

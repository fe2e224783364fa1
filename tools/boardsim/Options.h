// The command line of boardsim.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct RunOptions {
  std::string Board = "default";        // a name in the boards folder, or a path to a JSON file
  std::optional<std::string> TracePath; // "-" for standard output
  bool Host = false;                    // the host-linked module instead of the image
  std::optional<std::string> ImagePath; // another image than the one the build made
  bool Help = false;
};

// Throws tools::ToolError (exit 2) on anything it does not understand.
RunOptions ParseRunOptions(const std::vector<std::string>& Args);

// A bare name means <BoardsDir>/<name>.json; anything with a slash or a .json ending is a path.
std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir);

extern const char* const Usage;

} // namespace boardsim

#include "tools/boardsim/Options.h"

#include "tools/run/ToolError.h"

#include <filesystem>

namespace boardsim {

const char* const Usage = "usage: boardsim run [--board NAME|FILE] [--trace FILE|-]\n"
                          "                    [--host | --image FILE]\n"
                          "  --board NAME|FILE  board description: a name from the boards folder\n"
                          "                     (default: default) or a path to a JSON file\n"
                          "  --trace FILE|-     write the access trace to FILE, or to standard\n"
                          "                     output with '-' (the summary then goes to\n"
                          "                     standard error)\n"
                          "  --host             run the host-linked module instead of the image\n"
                          "  --image FILE       run this PE32 image instead of the one the build\n"
                          "                     made (image/boardinit.efi)\n";

RunOptions ParseRunOptions(const std::vector<std::string>& Args) {
  RunOptions options;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) {
        throw tools::ToolError("boardsim: " + arg + " needs a value", tools::ExitBadInput);
      }
      return Args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--board") {
      options.Board = value();
    } else if (arg == "--trace") {
      options.TracePath = value();
    } else if (arg == "--host") {
      options.Host = true;
    } else if (arg == "--image") {
      options.ImagePath = value();
    } else {
      throw tools::ToolError("boardsim: unknown option '" + arg + "'", tools::ExitBadInput);
    }
  }
  if (options.Host && options.ImagePath) {
    throw tools::ToolError("boardsim: --host and --image exclude each other", tools::ExitBadInput);
  }
  return options;
}

std::string ResolveBoardPath(const std::string& Board, const std::string& BoardsDir) {
  if (Board.find('/') != std::string::npos || Board.ends_with(".json")) {
    return Board;
  }
  const std::filesystem::path path = std::filesystem::path(BoardsDir) / (Board + ".json");
  if (!std::filesystem::exists(path)) {
    throw tools::ToolError("boardsim: no board named '" + Board + "' (looked for " + path.string() +
                               ")",
                           tools::ExitBadInput);
  }
  return path.string();
}

} // namespace boardsim

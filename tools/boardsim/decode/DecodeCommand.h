// decode: the views of a trace written earlier by --trace (of run or op).
#pragma once

#include "tools/boardsim/cli/Installation.h"
#include "tools/boardsim/cli/Subcommand.h"

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct DecodeOptions {
  std::string TracePath; // "-" for standard input
  bool Json = false;
  std::optional<std::vector<PadRef>> Pads;
  bool PadsChangedOnly = false;
  std::optional<std::string> HtmlPath;
  bool All = false;
  bool Source = false;                  // the trace again, each access with its source line
  std::optional<std::string> ImagePath; // the image that made the trace, if not the built one
};

Subcommand AddDecodeCommand(CLI::App& Program, DecodeOptions& Options);

// Returns the process exit status; bad input is thrown as a tools::ToolError.
int DecodeCommand(const DecodeOptions& Options, const Installation& Where);

} // namespace boardsim

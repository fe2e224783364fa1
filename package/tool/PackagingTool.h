// What the two packaging tools (package_module, place_peim) share: the command line read with
// CLI11 as boardsim reads its own, inputs and outputs under the files discipline (common/files),
// and every error as one line starting with the program's name. Exit statuses: 0 done, 2 bad
// input (an option, a file, an image that is not what it must be), 3 an output not written.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace package::tool {

// main's whole body: sets up the standard streams, parses the command line into App (--help
// prints it and ends with 0; anything CLI11 refuses is bad input), then runs Work. A
// tools::ToolError ends with its own status, a package::FormatError or any other error with 2.
int RunTool(CLI::App& App, int argc, char** argv, const std::function<void()>& Work);

// The value of a number option: decimal, or hex behind 0x, at most Max; anything else is bad
// input naming the option.
uint64_t NumberOption(const std::string& Text, const std::string& Option, uint64_t Max);

// An input file read whole (files::ReadInput); a file that cannot be is bad input naming it.
std::vector<uint8_t> ReadInputFile(const std::string& Path, uint64_t Limit,
                                   const std::string& What);

// Bad input (exit 2): "<program>: Message".
[[noreturn]] void Refuse(const std::string& Message);

} // namespace package::tool

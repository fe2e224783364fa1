// Text from a board file or the command line, made safe to print on a line of a summary: a
// control character in a board's name must not start a line of its own or move the cursor.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// Control characters (below 0x20, and 0x7F) and the backslash become \xNN; the rest is kept.
std::string Printable(std::string_view Text);

} // namespace tools

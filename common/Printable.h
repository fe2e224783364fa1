// The one escaping of the tools: any text from outside (a board file, an image path, the command
// line, a trace) before it reaches a terminal or a JSON document. A control character in a board's
// name must not start a line of its own or move the cursor, and a byte of another encoding must
// not become one on the way (UTF-8 carries C1 controls as two bytes from 0x80 up).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tools {

enum class Backslashes {
  Escape, // text quoted as it was: a backslash is escaped too, so that the escaping reads back
  Keep,   // a whole message whose quoted parts are already escaped: only what is unsafe changes
};

// Bytes below 0x20, 0x7F and from 0x80 up become \xNN (upper-case hex); by default so does the
// backslash. Printable text is left as it is.
std::string Printable(std::string_view Text, Backslashes Backslash = Backslashes::Escape);

// Text quoted from a file in a message: printable, in single quotes, and cut after QuotedBytes
// bytes ("'...'..."), so that the message stays one short line whatever the file holds.
constexpr size_t QuotedBytes = 40;
std::string Quoted(std::string_view Text);

// Text as one word of a shell command the user may copy and run: left as it is when it holds only
// characters no shell treats specially, in single quotes when it is printable, and otherwise in
// the $'...' form of bash and zsh, whose \xNN escapes read back as the bytes Printable escapes, so
// that the command is printable and one line and still names the same file.
std::string ShellWord(std::string_view Text);

} // namespace tools

// Paths named on a command line, as the file functions see them.
#pragma once

#include <string>

namespace files {

// Path with every symbolic link along its last component followed, so that a link to a file
// that does not exist yet names that file. Relative links are taken from the link's directory.
// Throws a tools::ToolError (exit 2) for a loop of links.
std::string FollowLinks(const std::string& Path);

// How a message names Path: "standard output" for "-", otherwise the path made printable.
std::string Named(const std::string& Path);

} // namespace files

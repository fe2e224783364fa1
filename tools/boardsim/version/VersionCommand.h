// --version: the tool's version and build number, which the image's version section carries too,
// and the SHA-256 of the image run by default.
#pragma once

#include "tools/boardsim/cli/Installation.h"

namespace boardsim {

// Returns the process exit status.
int VersionCommand(const Installation& Where);

} // namespace boardsim

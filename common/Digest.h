// SHA-256 as the tools print it: 64 lower-case hex digits.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// The digest of Size bytes at Data (nettle's SHA-256), for --version and a sweep's identity.
std::string Sha256Hex(const void* Data, size_t Size);

} // namespace tools

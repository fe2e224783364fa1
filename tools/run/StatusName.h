#pragma once

#include <cstdint>
#include <string>

namespace tools {

// "EFI_SUCCESS", "EFI_TIMEOUT", ...; unknown values as hex.
std::string StatusName(uint32_t Status);

} // namespace tools

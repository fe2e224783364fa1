#pragma once

#include <cstdint>
#include <string>

namespace tools {

// "0x" and Digits upper-case hex digits, as the trace and the summaries write register values.
std::string Hex(uint32_t Value, int Digits);

} // namespace tools

// op's slot words: a slot name and its UINT8 arguments, checked against the slot's signature.
#pragma once

#include "tools/run/SlotCall.h"

#include <string>
#include <vector>

namespace boardsim {

// A name the library does not have, a wrong argument count, or an argument the slot cannot take
// is bad input (tools::ToolError, exit 2), named with the slot's C signature.
tools::SlotRequest ParseSlot(const std::string& Name, const std::vector<std::string>& Arguments);

} // namespace boardsim

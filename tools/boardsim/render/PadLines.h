// The text of --pads: a few lines per pad, with its registers decoded.
#pragma once

#include "tools/boardsim/analysis/PadView.h"

#include <string>
#include <vector>

namespace boardsim {

// The text of --pads: a few lines per pad.
std::vector<std::string> DescribePads(const std::vector<PadRecord>& Pads);

// "172 changed: 148 in configuration, 65 in direction, 12 in level"
std::string DescribePadChanges(const PadChanges& Changes);

// "mode 0 (GPIO), input, low, pull 2, nibble 0"
std::string DescribeFields(const PadFields& Fields);

} // namespace boardsim

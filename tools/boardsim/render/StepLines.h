// The PMIC selection and the board step, one line each, as the summaries of run, op and decode
// write them.
#pragma once

#include "tools/boardsim/analysis/BoardStep.h"
#include "tools/boardsim/analysis/Selection.h"

#include <string>
#include <vector>

namespace boardsim {

// "variant 6, detected: 0x34 reg 0x03 no answer, 0x5E reg 0x00 -> 0xC8 accepted"
std::string DescribeSelection(const SelectionView& Selection);

// "PMIC 0x34 register 0x30 read 0x05", "pad 1 of 0x1000 driven high at 0.397 ms"
std::string DescribeStep(const StepItem& Item);
std::vector<std::string> DescribeSteps(const std::vector<StepItem>& Items);

} // namespace boardsim

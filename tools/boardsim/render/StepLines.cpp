#include "tools/boardsim/render/StepLines.h"

#include "common/Format.h"

namespace boardsim {

using tools::Hex;

std::string DescribeSelection(const SelectionView& Selection) {
  if (Selection.Source == SelectionSource::DescriptorHob) {
    return Selection.VariantId
               ? "variant " + VariantName(*Selection.VariantId) + ", from the descriptor HOB"
               : "a variant other than 5, from the descriptor HOB";
  }
  std::string reads;
  for (const IdentificationAnswer& read : Selection.Reads) {
    reads += (reads.empty() ? "" : ", ") + tools::Hex(read.Device, 2) + " reg " +
             tools::Hex(read.Register, 2) +
             (read.Answer     ? " -> " + tools::Hex(*read.Answer, 2)
              : read.CutShort ? std::string(" cut short")
                              : std::string(" no answer")) +
             (read.Accepted ? " accepted" : "");
  }
  if (reads.empty()) {
    reads = "no identification read reached the PMIC bus";
  }
  if (Selection.Source == SelectionSource::Unfinished) {
    return "selection did not finish: " + reads;
  }
  const std::string variant =
      "variant " + VariantName(Selection.VariantId.value_or(FallbackVariant));
  if (Selection.Source == SelectionSource::Detected) {
    return variant + ", detected: " + reads;
  }
  return variant + " (fallback), detected: " + reads + ", none accepted";
}

std::string DescribeStep(const StepItem& Item) {
  const std::string level = Item.High ? "high" : "low";
  const std::string pad = "pad " + std::to_string(Item.Pad) + " of " + Hex(Item.Community, 4);
  switch (Item.Kind) {
  case StepKind::PmicRead:
  case StepKind::PmicWrite:
    return "PMIC " + Hex(Item.Device, 2) + " register " + Hex(Item.Register, 2) +
           (Item.Kind == StepKind::PmicRead ? " read " : " written ") +
           (Item.Value ? Hex(*Item.Value, 2) : "(no answer)");
  case StepKind::PadRead:
    return pad + " reads " + level;
  case StepKind::PadDriven:
    return pad + " driven " + level + " at " + tools::Milliseconds(Item.TimeNs);
  }
  return {};
}

std::vector<std::string> DescribeSteps(const std::vector<StepItem>& Items) {
  std::vector<std::string> lines;
  for (const StepItem& item : Items) {
    lines.push_back(DescribeStep(item));
  }
  return lines;
}

} // namespace boardsim

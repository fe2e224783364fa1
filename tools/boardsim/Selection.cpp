#include "tools/boardsim/Selection.h"

#include "tools/run/Hex.h"

namespace boardsim {

namespace {

constexpr uint32_t FallbackVariant = 0xFE;

// Detection asks the variants in this order, each by one read of an identification register,
// and stops at the first that accepts its answer. Where the caller cannot read the descriptor
// (a boot's summary: only variant 5 changes what the board step does), acceptance is read from
// the answer with the codes each variant accepts.
struct IdentificationRead {
  uint32_t Variant;
  uint16_t Device;
  uint8_t Register;
  bool (*Accepts)(uint8_t Answer);
};

constexpr IdentificationRead DetectionOrder[] = {
    {5, 0x34, 0x03, [](uint8_t Answer) { return (Answer & 0xCF) == 0x41; }},
    {6, 0x5E, 0x00,
     [](uint8_t Answer) { return (Answer & 0xF8) == 0xC0 || (Answer & 0xF8) == 0xC8; }},
    {1, 0x6E, 0x00,
     [](uint8_t Answer) { return Answer == 0x00 || Answer == 0x1F || Answer == 0x2B; }},
};

bool Answered(const sim::decode::I2cTransaction& T) {
  return T.HasValue && !T.Aborted;
}

bool Asks(const IdentificationRead& Read, const sim::decode::I2cTransaction& T) {
  return T.Read && T.HasRegister && T.Device == Read.Device && T.Register == Read.Register;
}

} // namespace

bool IsIdentificationRead(const sim::decode::I2cTransaction& T) {
  for (const IdentificationRead& read : DetectionOrder) {
    if (Asks(read, T)) {
      return true;
    }
  }
  return false;
}

std::string VariantName(uint32_t VariantId) {
  return VariantId < 10 ? std::to_string(VariantId) : tools::Hex(VariantId, 2);
}

std::string DescribeSelection(const SelectionTrace& Selection) {
  if (!Selection.Accessed) {
    return Selection.VariantId
               ? "variant " + VariantName(*Selection.VariantId) + ", from the descriptor HOB"
               : "a variant other than 5, from the descriptor HOB";
  }
  std::string reads;
  std::optional<uint32_t> accepted;
  size_t next = 0;
  for (const sim::decode::I2cTransaction& t : Selection.Transactions) {
    if (next == std::size(DetectionOrder) || accepted) {
      break;
    }
    const IdentificationRead& asked = DetectionOrder[next++];
    if (!Asks(asked, t)) {
      break;
    }
    reads += (reads.empty() ? "" : ", ") + tools::Hex(asked.Device, 2) + " reg " +
             tools::Hex(asked.Register, 2) +
             (Answered(t) ? " -> " + tools::Hex(t.Value, 2) : std::string(" no answer"));
    const bool accepts = Selection.VariantId ? *Selection.VariantId == asked.Variant
                                             : Answered(t) && asked.Accepts(t.Value);
    if (accepts) {
      reads += " accepted";
      accepted = asked.Variant;
    }
  }
  if (reads.empty()) {
    reads = "no identification read reached the PMIC bus";
  }
  const uint32_t variant = Selection.VariantId.value_or(accepted.value_or(FallbackVariant));
  if (accepted || variant != FallbackVariant) {
    return "variant " + VariantName(variant) + ", detected: " + reads;
  }
  return "variant " + VariantName(variant) + " (fallback), detected: " + reads + ", none accepted";
}

} // namespace boardsim

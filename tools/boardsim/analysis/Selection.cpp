#include "tools/boardsim/analysis/Selection.h"

#include "common/Format.h"

namespace boardsim {

namespace {

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

std::vector<uint16_t> DetectionDevices() {
  std::vector<uint16_t> devices;
  for (const IdentificationRead& read : DetectionOrder) {
    devices.push_back(read.Device);
  }
  return devices;
}

std::string VariantName(uint32_t VariantId) {
  return VariantId < 10 ? std::to_string(VariantId) : tools::Hex(VariantId, 2);
}

SelectionView ReadSelection(const SelectionTrace& Selection) {
  SelectionView view{Selection.VariantId, SelectionSource::DescriptorHob, {}};
  if (!Selection.Accessed) {
    return view;
  }
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
    const bool accepts = Selection.VariantId ? *Selection.VariantId == asked.Variant
                                             : Answered(t) && asked.Accepts(t.Value);
    view.Reads.push_back({asked.Variant, asked.Device, asked.Register,
                          Answered(t) ? std::optional<uint8_t>(t.Value) : std::nullopt, accepts});
    if (accepts) {
      accepted = asked.Variant;
    }
  }
  // Detection is over once a variant accepted its answer or every variant was asked and answered
  // (a device that does not acknowledge answers too: the module sees the abort). A trace that
  // ends before that, and before the step goes on, is of a run stopped inside selection.
  const bool lastAnswered =
      !view.Reads.empty() &&
      (view.Reads.back().Answer || Selection.Transactions[view.Reads.size() - 1].Aborted);
  const bool concluded =
      accepted || (view.Reads.size() == std::size(DetectionOrder) && lastAnswered);
  if (!Selection.MovedOn && !Selection.VariantId && !concluded) {
    if (!view.Reads.empty() && !lastAnswered) {
      view.Reads.back().CutShort = true;
    } else if (view.Reads.size() < Selection.Transactions.size() &&
               view.Reads.size() < std::size(DetectionOrder)) {
      // The next read had begun (its register index written) when the run ended.
      const IdentificationRead& asked = DetectionOrder[view.Reads.size()];
      const sim::decode::I2cTransaction& t = Selection.Transactions[view.Reads.size()];
      if (t.HasRegister && t.Device == asked.Device && t.Register == asked.Register) {
        view.Reads.push_back(
            {asked.Variant, asked.Device, asked.Register, std::nullopt, false, true});
      }
    }
    view.Source = SelectionSource::Unfinished;
    return view;
  }
  view.VariantId = Selection.VariantId.value_or(accepted.value_or(FallbackVariant));
  view.Source = accepted || *view.VariantId != FallbackVariant ? SelectionSource::Detected
                                                               : SelectionSource::Fallback;
  return view;
}

} // namespace boardsim

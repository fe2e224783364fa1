// How the module settled on its PMIC descriptor, told from the trace alone: the identification
// reads detection made, in the order it asks the variants, with what each answered and which one
// accepted; or the descriptor HOB, when selection made no register access at all.
#pragma once

#include "sim/decode/BusDecoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// The variant the module falls back to when no identification read is accepted.
constexpr uint32_t FallbackVariant = 0xFE;

struct SelectionTrace {
  bool Accessed = false; // selection made at least one register access
  // The PMIC transactions from the start of selection on; detection's reads lead, and whatever
  // follows them is not looked at.
  std::vector<sim::decode::I2cTransaction> Transactions;
  // The chosen descriptor's VariantId, where the caller could read it from the descriptor.
  std::optional<uint32_t> VariantId;
  // The trace goes on past selection (the board step's pad accesses): selection returned.
  bool MovedOn = true;
};

// Unfinished: the run ended while detection was still asking (a budget ran out in selection).
enum class SelectionSource { Detected, DescriptorHob, Fallback, Unfinished };

// One identification read detection made, with the device's answer.
struct IdentificationAnswer {
  uint32_t Variant; // the variant that asks this register
  uint16_t Device;
  uint8_t Register;
  std::optional<uint8_t> Answer; // absent: no answer
  bool Accepted;
  bool CutShort = false; // the run ended before the module had this read's answer
};

struct SelectionView {
  // Absent when a descriptor HOB was taken and the caller could not read the descriptor (a boot
  // only shows whether the board step acts on variant 5), and when selection did not finish.
  std::optional<uint32_t> VariantId;
  SelectionSource Source = SelectionSource::DescriptorHob;
  std::vector<IdentificationAnswer> Reads; // in the order detection asked them
};

SelectionView ReadSelection(const SelectionTrace& Selection);

// The devices detection asks, in its order.
std::vector<uint16_t> DetectionDevices();

// A read of one of the identification registers that detection asks.
bool IsIdentificationRead(const sim::decode::I2cTransaction& T);

// "5", "1", "0xFE": how the summaries name a VariantId.
std::string VariantName(uint32_t VariantId);

} // namespace boardsim

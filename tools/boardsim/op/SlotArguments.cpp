#include "tools/boardsim/op/SlotArguments.h"

#include "common/Printable.h"
#include "common/ToolError.h"

#include <charconv>

namespace boardsim {

namespace {

[[noreturn]] void BadInput(const std::string& Message) {
  throw tools::ToolError("boardsim: " + Message, tools::ExitBadInput);
}

// Decimal or 0x hex, 0 to 255.
std::optional<uint8_t> ParseByte(const std::string& Text, bool& OutOfRange) {
  const bool negative = Text.starts_with('-');
  std::string_view digits(Text);
  digits.remove_prefix(negative ? 1 : 0);
  int base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  unsigned long long value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || end != digits.data() + digits.size() ||
      (error != std::errc{} && error != std::errc::result_out_of_range)) {
    OutOfRange = false;
    return std::nullopt;
  }
  OutOfRange = negative || error == std::errc::result_out_of_range || value > 0xFF;
  return OutOfRange ? std::nullopt : std::optional<uint8_t>(static_cast<uint8_t>(value));
}

} // namespace

tools::SlotRequest ParseSlot(const std::string& Name, const std::vector<std::string>& Arguments) {
  const std::optional<size_t> slot = tools::FindSlot(Name);
  if (!slot) {
    BadInput("no slot named '" + tools::Printable(Name) +
             "' (boardsim op --list shows the 25 slots)");
  }
  const tools::PmicSlot& pmicSlot = tools::PmicSlots[*slot];
  const tools::SlotSignature& signature = pmicSlot.Signature();
  const std::string name = pmicSlot.Name;
  const std::string withSignature = ": " + tools::CSignature(pmicSlot);
  tools::SlotRequest request{*slot, {}, false};

  if (signature.PointerCount() > 0) {
    if (Arguments.empty()) {
      return request;
    }
    if (Arguments.size() == 1 && Arguments[0] == "null") {
      if (!signature.TestsNull) {
        BadInput(name + " does not test its pointers, so null is refused" + withSignature);
      }
      request.NullPointer = true;
      return request;
    }
    BadInput(name + " takes no arguments" +
             (signature.TestsNull ? std::string(", or null for ") + signature.Pointers[0].Name
                                  : std::string(" (the tool passes its pointers)")) +
             ", got '" + tools::Printable(Arguments[0]) + "'" +
             (Arguments.size() > 1 ? " and more" : "") + withSignature);
  }

  const size_t expected = signature.ValueCount();
  if (Arguments.size() != expected) {
    BadInput(name + " takes " + std::to_string(expected) +
             (expected == 1 ? " argument" : " arguments") + ", got " +
             std::to_string(Arguments.size()) + withSignature);
  }
  for (size_t i = 0; i < expected; ++i) {
    bool outOfRange = false;
    const std::optional<uint8_t> value = ParseByte(Arguments[i], outOfRange);
    if (!value) {
      BadInput(
          std::string(signature.Values[i]) + " '" + tools::Printable(Arguments[i]) + "' " +
          (outOfRange ? "is out of range (UINT8: 0-255)" : "is not a number (decimal or 0x hex)") +
          withSignature);
    }
    request.Values.push_back(*value);
  }
  return request;
}

} // namespace boardsim

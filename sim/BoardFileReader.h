// The checks every part of the board file loader shares: each complaint is thrown as a
// BoardFileError with the position of the offending value.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/BoardFile.h"
#include "sim/BoardFileDocument.h"

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// Null when Object has no such key (or is not an object).
inline const BoardJson* FindMember(const BoardJson& Object, std::string_view Key) {
  if (!Object.is_object()) {
    return nullptr;
  }
  const auto found = Object.find(Key);
  return found != Object.end() ? &*found : nullptr;
}

// Text wholly of digits in Base, with no sign or prefix, that fits 64 bits.
inline std::optional<uint64_t> Digits(std::string_view Text, int Base) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value, Base);
  if (Text.empty() || error != std::errc{} || end != Text.data() + Text.size()) {
    return std::nullopt;
  }
  return value;
}

class BoardFileReader {
public:
  explicit BoardFileReader(const BoardDocument& Document) : document_(Document) {}

  [[noreturn]] void Fail(const BoardJson& At, const std::string& Message) const {
    throw BoardFileError(document_.Where(At) + ": " + Message);
  }

  // The same, pointing at the key that names Member inside its object.
  [[noreturn]] void FailAtKey(const BoardJson& Member, const std::string& Message) const {
    throw BoardFileError(document_.KeyWhere(Member) + ": " + Message);
  }

  // Object must be an object whose keys are all in Allowed; the first other key is named.
  void Keys(const BoardJson& Object, std::initializer_list<std::string_view> Allowed) const {
    if (!Object.is_object()) {
      Fail(Object, std::string("expected an object, found ") + Object.type_name());
    }
    for (const auto& [key, value] : Object.get_ref<const BoardJson::object_t&>()) {
      bool known = false;
      for (std::string_view allowed : Allowed) {
        known = known || key == allowed;
      }
      if (known) {
        continue;
      }
      std::string message = "unknown key " + QuoteText(key);
      const char* separator = " (expected one of: ";
      for (std::string_view allowed : Allowed) {
        message += separator;
        message += allowed;
        separator = ", ";
      }
      FailAtKey(value, message + ")");
    }
  }

  const BoardJson& Object(const BoardJson& V, std::string_view What) const {
    return Expect(V, BoardJson::value_t::object, What);
  }

  const BoardJson& Array(const BoardJson& V, std::string_view What) const {
    return Expect(V, BoardJson::value_t::array, What);
  }

  uint64_t Integer(const BoardJson& V, std::string_view What, uint64_t Max) const {
    std::optional<uint64_t> value;
    if (V.is_number_unsigned()) {
      value = V.get<uint64_t>();
    } else if (V.is_number_float()) {
      // 1.0 and 1e2 are integers as JSON Schema reads them (the board schema says "integer"):
      // taken when whole and exact in a double.
      const double number = V.get<double>();
      if (number >= 0 && number <= 9007199254740992.0 &&
          number == static_cast<double>(static_cast<uint64_t>(number))) {
        value = static_cast<uint64_t>(number);
      }
    } else if (V.is_string()) {
      value = HexText(V.get_ref<const std::string&>());
    }
    if (const auto problem = RangeProblem(value, What, Max)) {
      Fail(V, *problem);
    }
    return *value;
  }

  // An integer written as the key that names Member: decimal digits or "0x...".
  uint64_t KeyInteger(std::string_view Key, const BoardJson& Member, std::string_view What,
                      uint64_t Max) const {
    const bool decimal = !Key.empty() && Key.find_first_not_of("0123456789") == Key.npos;
    const std::optional<uint64_t> value = decimal ? Digits(Key, 10) : HexText(Key);
    if (const auto problem = RangeProblem(value, What, Max)) {
      FailAtKey(Member, *problem);
    }
    return *value;
  }

  // The entries of an optional array of two-key objects ({"address": ..., "reads": ...}), each
  // with both keys present, as the pair of their values; none when Key is absent.
  std::vector<std::pair<const BoardJson*, const BoardJson*>>
  KeyPairs(const BoardJson& Parent, std::string_view Key, std::string_view What,
           std::string_view First, std::string_view Second) const {
    std::vector<std::pair<const BoardJson*, const BoardJson*>> pairs;
    const BoardJson* array = FindMember(Parent, Key);
    if (array == nullptr) {
      return pairs;
    }
    for (const BoardJson& entry : Array(*array, Key)) {
      Object(entry, What);
      Keys(entry, {First, Second});
      const BoardJson* first = FindMember(entry, First);
      const BoardJson* second = FindMember(entry, Second);
      if (first == nullptr || second == nullptr) {
        Fail(entry, std::string(What) + " needs \"" + std::string(First) + "\" and \"" +
                        std::string(Second) + "\"");
      }
      pairs.emplace_back(first, second);
    }
    return pairs;
  }

  bool Boolean(const BoardJson& V, std::string_view What) const {
    if (!V.is_boolean()) {
      Fail(V, std::string(What) + " must be true or false");
    }
    return V.get<bool>();
  }

  std::string String(const BoardJson& V, std::string_view What) const {
    return Expect(V, BoardJson::value_t::string, What).get<std::string>();
  }

private:
  const BoardJson& Expect(const BoardJson& V, BoardJson::value_t Type,
                          std::string_view What) const {
    if (V.type() != Type) {
      Fail(V, std::string(What) + " must be " + BoardJson(Type).type_name() + ", not " +
                  V.type_name());
    }
    return V;
  }

  // JSON has no hex literal, and register values read far better in hex: "0x..." or "0X...".
  static std::optional<uint64_t> HexText(std::string_view Text) {
    if (!Text.starts_with("0x") && !Text.starts_with("0X")) {
      return std::nullopt;
    }
    return Digits(Text.substr(2), 16);
  }

  static std::optional<std::string> RangeProblem(std::optional<uint64_t> Value,
                                                 std::string_view What, uint64_t Max) {
    if (!Value) {
      return std::string(What) + " must be a non-negative integer (decimal, or a \"0x...\" string)";
    }
    if (*Value > Max) {
      std::ostringstream message;
      message << What << " is out of range (at most 0x" << std::hex << std::uppercase << Max << ")";
      return message.str();
    }
    return std::nullopt;
  }

  const BoardDocument& document_;
};

// The PMIC bus keys of a description: the power-management controller, the I2C controller and
// the devices on its bus, and the P-Unit. Each is handed the value of its top-level key.
void ReadPmcFunctionDisable(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config);
void ReadI2cController(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config);
void ReadI2cDevices(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config);
void ReadPunit(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config);

// The HOB list handed to the module: "hobs".
void ReadHobs(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config);

// The memory windows the description places: inside the board's routable space and apart from
// each other and from the SoC's fixed windows. Read after every other key.
void CheckWindows(const BoardFileReader& R, const BoardJson& Root, const BoardConfig& Config);

// The PMIC bus's keys under "faults"; read after the devices, which some of them name.
void ReadPmicBusFaults(const BoardFileReader& R, const BoardJson& Faults, BoardConfig& Config);

} // namespace sim

// The checks every part of the board file loader shares: each complaint is thrown as a
// BoardFileError with the position of the offending value.
#pragma once

#include "sim/BoardConfig.h"
#include "sim/BoardFile.h"
#include "sim/json/Json.h"

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

namespace sim {

class BoardFileReader {
public:
  explicit BoardFileReader(std::string_view Source) : source_(Source) {}

  [[noreturn]] void Fail(const json::Value& At, const std::string& Message) const {
    throw BoardFileError(json::FormatError({Message, At.Where()}, source_));
  }

  void Keys(const json::Value& Object, std::initializer_list<std::string_view> Allowed) const {
    if (auto error = json::CheckKeys(Object, Allowed)) {
      throw BoardFileError(json::FormatError(*error, source_));
    }
  }

  const json::Value& Expect(const json::Value& V, json::Kind K, std::string_view What) const {
    if (!V.Is(K)) {
      Fail(V, std::string(What) + " must be " + std::string(json::KindName(K)) + ", not " +
                  std::string(json::KindName(V.GetKind())));
    }
    return V;
  }

  uint64_t Integer(const json::Value& V, std::string_view What, uint64_t Max) const {
    uint64_t value = 0;
    if (!json::ParseInteger(V, value)) {
      Fail(V, std::string(What) + " must be a non-negative integer (decimal, or a \"0x...\" "
                                  "string)");
    }
    if (value > Max) {
      std::ostringstream message;
      message << What << " is out of range (at most 0x" << std::hex << std::uppercase << Max << ")";
      Fail(V, message.str());
    }
    return value;
  }

  bool Boolean(const json::Value& V, std::string_view What) const {
    bool flag = false;
    if (!V.AsBool(flag)) {
      Fail(V, std::string(What) + " must be true or false");
    }
    return flag;
  }

  std::string String(const json::Value& V, std::string_view What) const {
    return Expect(V, json::Kind::String, What).Text();
  }

private:
  std::string_view source_;
};

// The PMIC bus keys of a description: the power-management controller, the I2C controller and
// the devices on its bus, and the P-Unit. Each is handed the value of its top-level key.
void ReadPmcFunctionDisable(const BoardFileReader& R, const json::Value& V, BoardConfig& Config);
void ReadI2cController(const BoardFileReader& R, const json::Value& V, BoardConfig& Config);
void ReadI2cDevices(const BoardFileReader& R, const json::Value& V, BoardConfig& Config);
void ReadPunit(const BoardFileReader& R, const json::Value& V, BoardConfig& Config);

// The HOB list handed to the module: "hobs".
void ReadHobs(const BoardFileReader& R, const json::Value& V, BoardConfig& Config);

// The memory windows the description places: inside the board's routable space and apart from
// each other and from the SoC's fixed windows. Read after every other key.
void CheckWindows(const BoardFileReader& R, const json::Value& Root, const BoardConfig& Config);

// The PMIC bus's keys under "faults"; read after the devices, which some of them name.
void ReadPmicBusFaults(const BoardFileReader& R, const json::Value& Faults, BoardConfig& Config);

} // namespace sim

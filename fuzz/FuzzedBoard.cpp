#include "fuzz/FuzzedBoard.h"

#include "sim/BoardFile.h"
#include "sim/Device.h"
#include "sim/decode/BusDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

namespace {

constexpr uint32_t DataCommand = 0xFE950010u; // the bus controller's data register at its BAR0
constexpr uint32_t SidebandFirst = 0xE00000D0u;
constexpr uint32_t SidebandLast = 0xE00000D8u;

enum KeyKind { Register, PmicRegister, SidebandRegister };

} // namespace

const std::vector<sim::BoardConfig>& BuiltInBoards() {
  static const std::vector<sim::BoardConfig> boards = [] {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
      if (entry.path().extension() == ".json") {
        paths.push_back(entry.path());
      }
    }
    std::sort(paths.begin(), paths.end()); // an input picks the same board on every machine
    std::vector<sim::BoardConfig> configs;
    for (const auto& path : paths) {
      configs.push_back(sim::LoadBoardFile(path.string()));
    }
    return configs;
  }();
  return boards;
}

uint32_t FuzzedAnswers::Answer(sim::Space, uint32_t, unsigned, const sim::Device* Dev,
                               uint32_t Value) {
  if (Dev == nullptr || input_.remaining_bytes() == 0) {
    return Value;
  }
  const std::string_view name = Dev->Name();
  if (name != "i2c-controller" && name != "pci-config" && name != "gpio-pads" &&
      name != "pm-timer") {
    return Value;
  }
  return (input_.ConsumeIntegral<uint8_t>() & 1) != 0 ? input_.ConsumeIntegral<uint32_t>() : Value;
}

std::vector<WrittenRegisters::Key> WrittenRegisters::Keys(const std::vector<sim::Access>& Trace) {
  std::vector<Key> keys;
  for (const sim::Access& a : Trace) {
    const bool carrier =
        a.Op == sim::AccessOp::Write &&
        (a.Address == DataCommand || (a.Address >= SidebandFirst && a.Address <= SidebandLast));
    if ((a.Op == sim::AccessOp::Write || a.Op == sim::AccessOp::Out) && !carrier) {
      keys.emplace_back(Register, a.Address, a.Width);
    }
  }
  const sim::decode::BusActivity bus = sim::decode::DecodeBus(Trace);
  for (const auto& t : bus.I2c) {
    if (!t.Read && t.HasValue) {
      keys.emplace_back(PmicRegister, t.Device, t.Register);
    }
  }
  for (const auto& m : bus.Sideband) {
    if (m.IsWrite()) {
      keys.emplace_back(SidebandRegister, m.Port, m.Register);
    }
  }
  return keys;
}

void WrittenRegisters::Add(const std::vector<sim::Access>& Trace) {
  for (const Key& key : Keys(Trace)) {
    keys_.insert(key);
  }
}

std::optional<std::string>
WrittenRegisters::FirstOutside(const std::vector<sim::Access>& Trace,
                               std::optional<uint8_t> AllowedPmicRegister) const {
  for (const auto& [kind, first, second] : Keys(Trace)) {
    if (keys_.count({kind, first, second}) != 0 ||
        (kind == PmicRegister && AllowedPmicRegister == second)) {
      continue;
    }
    char text[96];
    std::snprintf(text, sizeof text,
                  kind == Register       ? "a write of register 0x%08X (%u bits)"
                  : kind == PmicRegister ? "a write of PMIC 0x%02X register 0x%02X"
                                         : "a write of sideband port 0x%02X register 0x%X",
                  first, second);
    return std::string(text);
  }
  return std::nullopt;
}

void Finding(const std::string& What) {
  std::fprintf(stderr, "finding: %s\n", What.c_str());
  std::abort();
}

} // namespace fuzz

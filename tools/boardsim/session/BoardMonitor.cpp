#include "tools/boardsim/session/BoardMonitor.h"

#include "common/Format.h"
#include "common/Numbers.h"

#include <cstdio>

namespace boardsim {

namespace {

// A pad's four registers; the module writes the configuration and the value word.
constexpr struct {
  uint32_t Offset;
  const char* Name;
} PadWords[] = {{0x0, "configuration"}, {0x4, ""}, {0x8, "value"}, {0xC, ""}};
constexpr uint32_t PadLevel = 1; // bit 0 of the value word

constexpr const char* PadUsage = "usage: monitor pad COMMUNITY:PAD (community 0x0000, 0x1000 or "
                                 "0x2000 as the summary names it; pad 0-255)\n";

std::string Pad(const sim::GpioPads& Gpio, std::string_view Arguments) {
  const size_t colon = Arguments.find(':');
  if (colon == std::string_view::npos) {
    return PadUsage;
  }
  const auto community = tools::ParseNumber(Arguments.substr(0, colon),
                                            (sim::GpioCommunityCount - 1) * sim::GpioCommunitySize);
  const auto pad = tools::ParseNumber(Arguments.substr(colon + 1), sim::GpioPadsPerCommunity - 1);
  if (!community || *community % sim::GpioCommunitySize != 0 || !pad) {
    return PadUsage;
  }
  const uint32_t base = sim::PadOffset(static_cast<uint32_t>(*community / sim::GpioCommunitySize),
                                       static_cast<uint32_t>(*pad));
  char head[64];
  std::snprintf(head, sizeof head, "pad %u of 0x%04X\n", static_cast<unsigned>(*pad),
                static_cast<unsigned>(*community));
  std::string text = head;
  for (const auto& word : PadWords) {
    const uint32_t value = Gpio.Peek(base + word.Offset);
    char line[96];
    std::snprintf(line, sizeof line, "  %s %-13s %s",
                  tools::Hex(sim::GpioBlockBase + base + word.Offset, 8).c_str(), word.Name,
                  tools::Hex(value, 8).c_str());
    text += line;
    if (word.Offset == 0x8) {
      text += (value & PadLevel) != 0 ? " (level 1)" : " (level 0)";
    }
    text += '\n';
  }
  return text;
}

std::string Why(const sim::Board& Bus, std::string_view Arguments) {
  const auto address = tools::ParseNumber(Arguments, 0xFFFFFFFF);
  if (!address) {
    return "usage: monitor why ADDRESS (a register's address, or a port number)\n";
  }
  const auto& accesses = Bus.GetTrace().Accesses();
  for (auto access = accesses.rbegin(); access != accesses.rend(); ++access) {
    if ((access->Op == sim::AccessOp::Write || access->Op == sim::AccessOp::Out) &&
        access->Address == *address) {
      return tools::Hex(access->Address, 8) + " last written by the instruction at " +
             tools::Hex(access->Eip, 8) + ", access " + std::to_string(access->Seq) + " at " +
             std::to_string(access->TimeNs) + " ns: " + sim::FormatAccess(*access) + "\n";
    }
  }
  return tools::Hex(static_cast<uint32_t>(*address), 8) + " not written yet\n";
}

} // namespace

void AddBoardMonitorCommands(emu::GdbServer& Server, sim::Soc& Board) {
  Board.Bus.GetTrace().RecordSites();
  const sim::GpioPads& gpio = Board.Gpio;
  Server.AddMonitorCommand("pad", "COMMUNITY:PAD: a pad's registers, from the model",
                           [&gpio](std::string_view Arguments) { return Pad(gpio, Arguments); });
  const sim::Board& bus = Board.Bus;
  Server.AddMonitorCommand(
      "why", "ADDRESS: which instruction last wrote this register, at which access and time",
      [&bus](std::string_view Arguments) { return Why(bus, Arguments); });
}

} // namespace boardsim

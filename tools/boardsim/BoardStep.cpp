#include "tools/boardsim/BoardStep.h"

#include <cstdio>
#include <optional>

namespace boardsim {

namespace {

constexpr uint32_t PadBlock = 0xFED0C000;
// The GPIO pass ends with this fixed write (pad 51 of community 0x0000); all that follows is the
// board step.
constexpr uint32_t LastGpioPassRegister = 0xFED0C330;
constexpr uint16_t Variant5Device = 0x34;
constexpr uint8_t Variant5IdentityRegister = 0x03;
constexpr uint8_t Variant5LevelRegister = 0x30;
constexpr uint32_t Pad93Value = 0xFED0C5D8;

std::string Hex(uint32_t Value, int Digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", Digits, Value);
  return text;
}

std::string Milliseconds(uint64_t Ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu ms", static_cast<unsigned long long>(Ns / 1000000),
                static_cast<unsigned long long>(Ns / 1000 % 1000));
  return text;
}

std::string PadName(uint32_t Address) {
  const uint32_t offset = Address - PadBlock;
  return "pad " + std::to_string(offset % 0x1000 / 16) + " of " + Hex(offset / 0x1000 * 0x1000, 4);
}

// The first descriptor HOB a walk of the list reaches, if any.
std::optional<uint32_t> HandedOverVariant(const sim::BoardConfig& Board) {
  for (const sim::HobEntry& hob : Board.Hobs) {
    if (hob.What == sim::HobEntry::Kind::PmicDescriptor) {
      return hob.VariantId;
    }
    if (hob.What == sim::HobEntry::Kind::EndOfList ||
        (hob.HobLengthOverride && *hob.HobLengthOverride < 8)) {
      return std::nullopt; // the walk stops at the end, or at a HOB it cannot step over
    }
  }
  return std::nullopt;
}

// Selection asks variant 5 by its identification register, then variant 6 and variant 1 by
// register 0x00 of 0x5E and 0x6E.
bool IsDetection(const sim::decode::I2cTransaction& T) {
  if (!T.Read || !T.HasRegister) {
    return false;
  }
  return T.Device == Variant5Device ? T.Register == Variant5IdentityRegister
                                    : (T.Device == 0x5E || T.Device == 0x6E) && T.Register == 0;
}

bool UnderSemaphore(const sim::decode::BusActivity& Bus, uint64_t Time) {
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    if (hold.Granted && hold.AcquireNs <= Time && (!hold.Released || Time < hold.ReleaseNs)) {
      return true;
    }
  }
  return false;
}

} // namespace

BoardStepReport DescribeBoardStep(const std::vector<sim::Access>& Trace,
                                  const sim::BoardConfig& Board) {
  BoardStepReport report;
  report.Bus = sim::decode::DecodeBus(Trace);

  size_t stepStart = Trace.size();
  for (size_t i = Trace.size(); i-- > 0;) {
    if (Trace[i].Op == sim::AccessOp::Write && Trace[i].Address == LastGpioPassRegister) {
      stepStart = i + 1;
      break;
    }
  }
  const uint64_t stepTime = stepStart < Trace.size() ? Trace[stepStart].TimeNs : UINT64_MAX;

  bool variant5Step = false;
  for (const sim::decode::I2cTransaction& t : report.Bus.I2c) {
    if (t.TimeNs >= stepTime && t.Device == Variant5Device && t.HasRegister &&
        t.Register == Variant5LevelRegister) {
      variant5Step = true;
    }
  }

  if (const std::optional<uint32_t> variant = HandedOverVariant(Board)) {
    report.Selection = "variant " + std::to_string(*variant) + ", from the descriptor HOB";
  } else if (variant5Step) {
    report.Selection = "variant 5, detected";
  } else {
    report.Selection = "no known PMIC answered: fallback descriptor";
  }
  for (const sim::decode::I2cTransaction& t : report.Bus.I2c) {
    if (IsDetection(t) && t.Device == Variant5Device) {
      report.Selection += " (0x34 identification " +
                          (t.HasValue && !t.Aborted ? Hex(t.Value, 2) : std::string("no answer")) +
                          ")";
    }
  }

  // Pad and PMIC effects of the board step, in trace order.
  size_t nextTransaction = 0;
  for (size_t i = stepStart; i < Trace.size(); ++i) {
    const sim::Access& access = Trace[i];
    while (nextTransaction < report.Bus.I2c.size() &&
           report.Bus.I2c[nextTransaction].TimeNs <= access.TimeNs) {
      const sim::decode::I2cTransaction& t = report.Bus.I2c[nextTransaction++];
      if (t.TimeNs >= stepTime && t.HasRegister && !IsDetection(t)) {
        report.Steps.push_back("PMIC " + Hex(t.Device, 2) + " register " + Hex(t.Register, 2) +
                               (t.Read ? " read " : " written ") +
                               (t.HasValue && !t.Aborted ? Hex(t.Value, 2) : "(no answer)"));
      }
    }
    if (access.Address < PadBlock || access.Address >= PadBlock + 0x3000 ||
        access.Op == sim::AccessOp::In || access.Op == sim::AccessOp::Out) {
      continue;
    }
    if (access.Address == Pad93Value && access.Op == sim::AccessOp::Read) {
      report.Steps.push_back(std::string("pad 93 of 0x0000 reads ") +
                             ((access.Value & 1) != 0 ? "high" : "low"));
    } else if (access.Op == sim::AccessOp::Write) {
      report.Steps.push_back(PadName(access.Address) + " driven " +
                             ((access.Value & 1) != 0 ? "high" : "low") + " at " +
                             Milliseconds(access.TimeNs));
    }
  }
  while (nextTransaction < report.Bus.I2c.size()) {
    const sim::decode::I2cTransaction& t = report.Bus.I2c[nextTransaction++];
    if (t.TimeNs >= stepTime && t.HasRegister && !IsDetection(t)) {
      report.Steps.push_back("PMIC " + Hex(t.Device, 2) + " register " + Hex(t.Register, 2) +
                             (t.Read ? " read " : " written ") +
                             (t.HasValue && !t.Aborted ? Hex(t.Value, 2) : "(no answer)"));
    }
  }
  return report;
}

std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus) {
  std::vector<std::string> lines;
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    std::string line =
        Milliseconds(t.TimeNs) + "  " + (t.Read ? "read  " : "write ") + Hex(t.Device, 2) +
        " reg " + (t.HasRegister ? Hex(t.Register, 2) : std::string("--")) +
        (t.Read ? " -> " : " <- ") + (t.HasValue ? Hex(t.Value, 2) : std::string("--"));
    if (t.Aborted) {
      line += "  aborted (no acknowledge)";
    }
    if (UnderSemaphore(Bus, t.TimeNs)) {
      line += "  under semaphore";
    }
    lines.push_back(line);
  }
  return lines;
}

} // namespace boardsim

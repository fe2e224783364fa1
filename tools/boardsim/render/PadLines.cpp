#include "tools/boardsim/render/PadLines.h"

#include "common/Format.h"
#include "sim/devices/GpioPads.h"

namespace boardsim {

namespace {

using tools::Hex;

std::string RegisterName(uint32_t Offset) {
  switch (Offset) {
  case 0:
    return "configuration";
  case PadValueOffset:
    return "value";
  default:
    return "word +" + Hex(Offset, 1);
  }
}

std::string DescribeRow(const PadRecord& Record) {
  const PadConfigEntry& e = Record.Row->Entry;
  return "row " + std::to_string(Record.Row->Row) + " of " + TableName(Record.Pad.Community) +
         ": direction " + Hex(e.Direction, 2) + ", output level " + Hex(e.OutputLevel, 2) +
         ", mode " + std::to_string(e.Mode) + ", nibble " + std::to_string(e.ConfigNibble) +
         ", pull " + std::to_string(e.Pull);
}

std::string Words(const PadWords& W) {
  const auto word = [](const std::optional<uint32_t>& V) {
    return V ? Hex(*V, 8) : std::string("(unknown)");
  };
  std::string text = word(W.Config) + " " + word(W.Value);
  if (W.Config && W.Value) {
    text += "  " + DescribeFields(DecodePad(*W.Config, *W.Value));
  }
  return text;
}

} // namespace

std::string DescribeFields(const PadFields& Fields) {
  std::string text = "mode " + std::to_string(Fields.Mode) + (Fields.Mode == 0 ? " (GPIO)" : "");
  switch (Fields.Direction) {
  case 0:
    text += ", output";
    break;
  case 2:
    text += ", input";
    break;
  case 6:
    text += ", off";
    break;
  default:
    text += ", direction " + std::to_string(Fields.Direction);
  }
  text += Fields.High ? ", high" : ", low";
  if (Fields.PullPattern) {
    text += ", pull " + std::to_string(*Fields.PullPattern);
  } else if ((Fields.PullBits & 0b0011) == 0) {
    text += ", pull off";
  } else {
    text += ", pull bits " + Hex(Fields.PullBits, 1);
  }
  return text + ", nibble " + std::to_string(Fields.Nibble);
}

std::vector<std::string> DescribePads(const std::vector<PadRecord>& Pads) {
  std::vector<std::string> lines;
  for (const PadRecord& record : Pads) {
    lines.push_back("pad " + FormatPadRef(record.Pad) + "  configuration " +
                    Hex(ConfigAddress(record.Pad), 8) + ", value " +
                    Hex(ValueAddress(record.Pad), 8) + (record.Changed() ? "  changed" : ""));
    lines.push_back("  before  " + Words(record.Before));
    lines.push_back("  after   " + Words(record.After));
    lines.push_back("  table   " +
                    (record.Row ? DescribeRow(record) : std::string("no row names this pad")));
    if (record.Accesses.empty()) {
      lines.push_back("  no access");
    }
    for (const PadAccess& a : record.Accesses) {
      std::string line = "  access " + std::to_string(a.Access.Seq) + "  " +
                         tools::Milliseconds(a.Access.TimeNs) + "  " +
                         (a.Access.Op == sim::AccessOp::Read ? "read  " : "write ") +
                         RegisterName(a.Access.Address % sim::GpioPadSize & ~3u) + " " +
                         Hex(a.Access.Value, a.Access.Width / 4) + "  " + a.Part;
      if (a.Row) {
        line += ", row " + std::to_string(*a.Row);
      }
      lines.push_back(line);
    }
  }
  return lines;
}

std::string DescribePadChanges(const PadChanges& Changes) {
  return std::to_string(Changes.Changed) + " changed: " + std::to_string(Changes.Configuration) +
         " in configuration, " + std::to_string(Changes.Direction) + " in direction, " +
         std::to_string(Changes.Level) + " in level";
}

} // namespace boardsim

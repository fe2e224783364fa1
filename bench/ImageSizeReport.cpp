#include "bench/ImageSizeReport.h"

#include "gpio/PadConfigEntry.h"

#include <iomanip>
#include <ostream>

namespace bench {

namespace {
constexpr std::string_view ReadOnlySection = ".rdata";
constexpr std::string_view CodeSection = ".text";
constexpr std::string_view PadRowType = "PadConfigEntry";
} // namespace

SizeReport MeasureImage(const std::string& ImageName, uint64_t FileBytes, const emu::PeImage& Image,
                        const emu::LinkerMap& Map) {
  SizeReport report;
  report.ImageName = ImageName;
  report.FileBytes = FileBytes;
  report.HeaderBytes = Image.SizeOfHeaders;
  for (const emu::PeSection& section : Image.Sections) {
    report.Sections.push_back({section.Name, section.SizeOfRawData, section.VirtualSize});
    if (section.Name == CodeSection) {
      report.CodeBytes = section.VirtualSize;
    }
  }
  for (const emu::MapPiece& piece : Map.Pieces) {
    if (piece.OutputSection != ReadOnlySection || piece.Size == 0) {
      continue;
    }
    if (piece.Symbols.empty()) {
      report.OtherConstants += piece.Size;
      continue;
    }
    const std::string& symbol = piece.Symbols.front();
    const bool padTable = symbol.find(PadRowType) != std::string::npos;
    const uint32_t rows = padTable ? piece.Size / sizeof(PadConfigEntry) : 0;
    report.Tables.push_back({emu::ShortSymbolName(symbol), piece.Size, rows});
    report.PadRows += rows;
    report.DataFloor += piece.Size;
  }
  return report;
}

double SizeReport::CodeToDataFloor() const {
  return DataFloor != 0 ? static_cast<double>(CodeBytes) / DataFloor : 0.0;
}

void PrintSizeReport(std::ostream& Out, const SizeReport& Report) {
  Out << Report.ImageName << ": " << Report.FileBytes << " bytes\n";
  Out << "  " << std::left << std::setw(24) << "headers" << std::right << std::setw(6)
      << Report.HeaderBytes << '\n';
  for (const SectionSize& section : Report.Sections) {
    Out << "  " << std::left << std::setw(24) << section.Name << std::right << std::setw(6)
        << section.FileBytes << " in the file, " << section.MemoryBytes << " used\n";
  }
  Out << "data floor: " << Report.DataFloor << " bytes of constant tables ("
      << (Report.FileBytes != 0 ? 100 * Report.DataFloor / Report.FileBytes : 0)
      << "% of the file)\n";
  for (const TableSize& table : Report.Tables) {
    Out << "  " << std::left << std::setw(24) << table.Name << std::right << std::setw(6)
        << table.Bytes;
    if (table.PadRows != 0) {
      Out << "  (" << table.PadRows << " pad rows)";
    }
    Out << '\n';
  }
  Out << "  pad rows: " << Report.PadRows << " x " << sizeof(PadConfigEntry) << " = "
      << Report.PadRows * sizeof(PadConfigEntry) << " bytes\n";
  Out << "other read-only data: " << Report.OtherConstants << " bytes\n";
  Out << "code: " << Report.CodeBytes << " bytes of .text, " << std::fixed << std::setprecision(2)
      << Report.CodeToDataFloor() << " x the data floor\n";
}

} // namespace bench

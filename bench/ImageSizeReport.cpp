#include "bench/ImageSizeReport.h"

#include "gpio/PadConfigEntry.h"
#include "package/Volume.h"

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
  for (const package::ImageSection& section : Image.Sections) {
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

ShippedSizes MeasureShippedForms(uint64_t Pe32Bytes, uint64_t TeBytes, uint64_t FfsBytes,
                                 std::span<const uint8_t> Volume) {
  return {Pe32Bytes, TeBytes, FfsBytes, Volume.size(),
          package::ParseVolume(Volume).FreeSpaceOffset};
}

void PrintShippedSizes(std::ostream& Out, const ShippedSizes& Sizes) {
  const auto row = [&](const char* Form, uint64_t Bytes, const std::string& Note) {
    Out << "  " << std::left << std::setw(8) << Form << std::right << std::setw(6) << Bytes << "  "
        << Note << '\n';
  };
  const auto versus = [&](uint64_t Bytes, uint64_t Than) {
    const int64_t difference = static_cast<int64_t>(Bytes) - static_cast<int64_t>(Than);
    return (difference >= 0 ? "+" : "") + std::to_string(difference);
  };
  Out << "shipped forms (bytes)\n";
  row("PE32", Sizes.Pe32, "boardinit.efi");
  row("TE", Sizes.Te, "boardinit.te, " + versus(Sizes.Te, Sizes.Pe32) + " against the PE32");
  row("FFS", Sizes.Ffs,
      "boardinit.ffs, " + versus(Sizes.Ffs, Sizes.Te) +
          " against the TE image (file header, sections, depex, name, version)");
  row("volume", Sizes.Volume,
      "boardinit-fv.bin, " + std::to_string(Sizes.VolumeUsed) + " used, " +
          std::to_string(Sizes.Volume - Sizes.VolumeUsed) + " free");
}

} // namespace bench

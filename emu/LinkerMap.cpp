#include "emu/LinkerMap.h"

#include "common/Printable.h"
#include "common/files/InputFile.h"
#include "emu/PeImage.h"

#include <charconv>

namespace emu {

namespace {

// Columns of a map line: "AAAAAAAA SSSSSSSS AAAAA" then the name, indented one level deeper
// for each of output section, input section and symbol.
constexpr size_t NameColumn = 23;
constexpr size_t InputIndent = 9;
constexpr size_t SymbolIndent = 17;

bool ParseHex32(std::string_view Field, uint32_t& Out) {
  const auto [end, ec] = std::from_chars(Field.data(), Field.data() + Field.size(), Out, 16);
  return ec == std::errc{} && end == Field.data() + Field.size() && Field.size() == 8;
}

} // namespace

std::optional<uint32_t> LinkerMap::FindSymbol(std::string_view Name) const {
  for (const MapPiece& piece : Pieces) {
    for (const std::string& symbol : piece.Symbols) {
      if (symbol == Name) {
        return piece.Rva;
      }
    }
  }
  return std::nullopt;
}

LinkerMap ParseLinkerMap(std::string_view Text) {
  if (!Text.starts_with("Address ")) {
    throw ImageError("not an lld map: first line is not the column header");
  }
  LinkerMap map;
  std::string outputSection;
  size_t lineNumber = 0;
  while (!Text.empty()) {
    const size_t end = Text.find('\n');
    const std::string_view line = Text.substr(0, end);
    Text = end == std::string_view::npos ? std::string_view{} : Text.substr(end + 1);
    if (++lineNumber == 1 || line.empty()) {
      continue;
    }
    uint32_t rva = 0;
    uint32_t size = 0;
    const std::string_view rest = line.size() > NameColumn ? line.substr(NameColumn) : "";
    const size_t indent = rest.find_first_not_of(' ');
    if (indent == std::string_view::npos || !ParseHex32(line.substr(0, 8), rva) ||
        !ParseHex32(line.substr(9, 8), size)) {
      throw ImageError("not an lld map: line " + std::to_string(lineNumber) + ": " +
                       tools::Quoted(line));
    }
    const std::string name(rest.substr(indent));
    if (indent >= SymbolIndent) {
      if (map.Pieces.empty()) {
        throw ImageError("not an lld map: symbol before any section, line " +
                         std::to_string(lineNumber));
      }
      map.Pieces.back().Symbols.push_back(name);
    } else if (indent >= InputIndent) {
      map.Pieces.push_back(MapPiece{outputSection, name, rva, size, {}});
    } else {
      outputSection = name;
    }
  }
  return map;
}

LinkerMap ReadLinkerMap(const std::string& Path) {
  std::vector<uint8_t> text;
  try {
    text = files::ReadInput(Path, MaxLinkerMapSize, "a linker map");
  } catch (const files::InputError& error) {
    throw ImageError(std::string("linker map: ") + error.what());
  }
  return ParseLinkerMap({reinterpret_cast<const char*>(text.data()), text.size()});
}

std::string ShortSymbolName(std::string_view Printed) {
  const size_t start = Printed.find_last_of(" :*&");
  if (start != std::string_view::npos) {
    return std::string(Printed.substr(start + 1));
  }
  // A C name, printed as the i386 object file spells it: behind one underscore.
  return std::string(Printed.starts_with('_') ? Printed.substr(1) : Printed);
}

} // namespace emu

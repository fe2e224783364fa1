// Reads the map that lld-link writes with /lldmap: which input section landed where, how large
// it is, and which symbols it defines. The image check takes the entry point's RVA from it; the
// size report takes the constant tables' sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

// One input section placed in the image, with the symbols it defines (as lld prints them,
// demangled: "unsigned short const *const `anonymous namespace'::LatePads").
struct MapPiece {
  std::string OutputSection;
  std::string Input; // "obj/gpio/PadTables.obj:(.rdata)"
  uint32_t Rva = 0;
  uint32_t Size = 0;
  std::vector<std::string> Symbols;
};

struct LinkerMap {
  std::vector<MapPiece> Pieces;

  // RVA of the symbol printed exactly as Name ("_ModuleEntry" for an extern "C" function).
  std::optional<uint32_t> FindSymbol(std::string_view Name) const;
};

// The module's map is tens of KiB; a file far larger is not its map.
constexpr uint64_t MaxLinkerMapSize = 16u << 20;

// Throws emu::ImageError naming the line when Text is not an lld map (a regular file of at most
// MaxLinkerMapSize bytes).
LinkerMap ParseLinkerMap(std::string_view Text);
LinkerMap ReadLinkerMap(const std::string& Path);

// The plain name at the end of a printed symbol: "LatePads" for the example above, and
// "ModuleEntry" for the C name "_ModuleEntry".
std::string ShortSymbolName(std::string_view Printed);

} // namespace emu

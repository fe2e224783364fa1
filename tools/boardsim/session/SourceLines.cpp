#include "tools/boardsim/session/SourceLines.h"

#include "common/ToolError.h"
#include "emu/GdbSymbols.h"
#include "emu/Machine.h"
#include "tools/boardsim/session/RunModule.h"

namespace boardsim {

namespace {

// The target's register primitives: inlined into every caller, one line per primitive.
constexpr std::string_view PrimitivesFolder = "/firmware/platform/target/";
constexpr std::string_view SourceRoot = "/firmware/";

// Paths are shown from the module's own folder on, the same wherever the tree was built.
std::string ShownPath(const std::string& Path) {
  const size_t at = Path.rfind(SourceRoot);
  return at == std::string::npos ? Path : Path.substr(at + 1);
}

} // namespace

SourceLines::SourceLines(const std::string& ImagePath, const std::string& BuiltImage)
    : symbolizer_(std::make_unique<TwinSymbolizer>()) {
  const emu::PeImage module = LoadImage(ImagePath);
  base_ = module.InPlace ? module.ImageBase : emu::LoadBase;
  std::string why;
  for (const std::string& image : {ImagePath, BuiltImage}) {
    const std::string twin = emu::DebugTwinPath(image);
    try {
      const emu::PeImage twinImage = emu::ReadPeFile(twin);
      shift_ = emu::DebugTwinShift(module, twinImage);
      twinBase_ = twinImage.ImageBase;
      twin_ = twin;
      break;
    } catch (const emu::ImageError& error) {
      if (why.empty()) {
        why = twin + ": " + error.what();
      }
    }
  }
  if (twin_.empty()) {
    throw tools::ToolError("boardsim: --source needs the image's debug twin: " + why,
                           tools::ExitBadInput);
  }
}

SourceLines::~SourceLines() = default;

std::string_view SourceLines::Name(uint32_t Eip) {
  auto [entry, fresh] = names_.try_emplace(Eip);
  if (fresh) {
    entry->second = Lookup(Eip);
  }
  return entry->second;
}

std::string SourceLines::Lookup(uint32_t Eip) {
  const uint64_t address = uint64_t{twinBase_} + (Eip - base_) + shift_;
  const std::vector<SourceFrame> frames = symbolizer_->Frames(twin_, address);
  const size_t count = frames.size();
  size_t frame = 0;
  // A primitive's frame: its line is in the primitives' file, or the line table puts an
  // instruction computing its argument at the caller's line while the scope is still its own.
  const auto primitive = [&](const SourceFrame& Line) {
    return Line.File.find(PrimitivesFolder) != std::string::npos ||
           Line.StartFile.find(PrimitivesFolder) != std::string::npos;
  };
  while (frame + 1 < count && primitive(frames[frame])) {
    ++frame;
  }
  if (count == 0 || frames[frame].Line == 0) {
    return "??";
  }
  const SourceFrame& line = frames[frame];
  return line.Function + " " + ShownPath(line.File) + ":" + std::to_string(line.Line);
}

std::unique_ptr<SourceLines> SourcesFor(const RunOptions& Options, const std::string& BuiltImage) {
  if (!Options.Source) {
    return nullptr;
  }
  return std::make_unique<SourceLines>(Options.ImagePath.value_or(BuiltImage), BuiltImage);
}

} // namespace boardsim

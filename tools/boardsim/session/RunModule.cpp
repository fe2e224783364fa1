#include "tools/boardsim/session/RunModule.h"

#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "emu/GdbSymbols.h"
#include "emu/ImageRun.h"
#include "emu/LinkerMap.h"
#include "tools/boardsim/session/ImageSlotCall.h"

#include <filesystem>
#include <iostream>

namespace boardsim {

namespace {
constexpr const char* GetActivePmicSymbol = "_GetActivePmic"; // an i386 C name
} // namespace

emu::PeImage LoadImage(const std::string& Path) {
  try {
    return emu::ReadModuleFile(Path);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + tools::Printable(Path) + ": " + error.what(),
                           tools::ExitBadInput);
  }
}

// The map the build wrote beside the PE32 serves its TE image and FFS file by the same stem; a
// volume, or an image moved elsewhere, names its map with --map.
std::string MapOf(const std::optional<std::string>& MapPath, const std::string& ImagePath) {
  return ModuleInputs(ImagePath, MapPath, ImagePath, true, false)[1].Path;
}

uint32_t FindGetActivePmic(const std::string& path) {
  std::optional<uint32_t> rva;
  try {
    rva = emu::ReadLinkerMap(path).FindSymbol(GetActivePmicSymbol);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + tools::Printable(path) + ": " + error.what() +
                               " (name the image's linker map with --map)",
                           tools::ExitBadInput);
  }
  if (!rva) {
    throw tools::ToolError("boardsim: " + tools::Printable(path) + ": no " + GetActivePmicSymbol +
                               " in the map",
                           tools::ExitBadInput);
  }
  return *rva;
}

std::optional<std::string> ImageToRun(const RunOptions& Options, const std::string& BuiltImage) {
  return Options.Host ? std::nullopt : std::optional(Options.ImagePath.value_or(BuiltImage));
}

RunHeader HeaderOf(const LoadedBoard& Board, const RunOptions& Options,
                   const std::string& BuiltImage) {
  return {Board.Config.Name,
          Board.Path,
          Board.Config.Description,
          ImageToRun(Options, BuiltImage),
          {Board.Config.GivenFaults, Options.Faults}};
}

std::vector<files::NamedFile> ModuleInputs(const std::string& Image,
                                           const std::optional<std::string>& MapPath,
                                           const std::string& BuiltImage, bool Map, bool Twins) {
  std::vector<files::NamedFile> inputs{{Image, "image"}};
  if (Map) {
    inputs.push_back(
        {MapPath.value_or(std::filesystem::path(Image).replace_extension(".map").string()),
         "linker map"});
  }
  if (Twins) {
    inputs.push_back({emu::DebugTwinPath(Image), "image's debug twin"});
    inputs.push_back({emu::DebugTwinPath(BuiltImage), "built image's debug twin"});
  }
  return inputs;
}

void RefuseSharedFiles(const RunOptions& Options, const std::string& BoardPath,
                       const std::string& BuiltImage, bool WithMap) {
  std::vector<files::NamedFile> inputs{{BoardPath, "board"}};
  if (const std::optional<std::string> image = ImageToRun(Options, BuiltImage)) {
    const bool twins = Options.Source || Options.Gdb.has_value();
    for (files::NamedFile& input :
         ModuleInputs(*image, Options.MapPath, BuiltImage, WithMap, twins)) {
      inputs.push_back(std::move(input));
    }
  }
  if (Options.ExpectPath) {
    inputs.push_back({*Options.ExpectPath, "expectation file"});
  }
  std::vector<files::NamedFile> outputs;
  if (Options.JunitPath) {
    outputs.push_back({*Options.JunitPath, "JUnit report"});
  }
  if (Options.TracePath) {
    outputs.push_back({*Options.TracePath, "trace"});
  }
  if (Options.VcdPath) {
    outputs.push_back({*Options.VcdPath, "waveform"});
  }
  if (Options.HtmlPath) {
    outputs.push_back({*Options.HtmlPath, "page"});
  }
  files::RefuseSharedFiles(inputs, outputs);
}

std::ostream& SummaryStream(const RunOptions& Options) {
  return Options.TracePath == "-" || Options.VcdPath == "-" || Options.HtmlPath == "-" ? std::cerr
                                                                                       : std::cout;
}

uint32_t StackBytesOf(const sim::BoardConfig& Board) {
  return Board.StackBytes != 0 ? Board.StackBytes : emu::DefaultStackBytes;
}

ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                    emu::GdbServer* Debugger) {
  const std::optional<std::string> path = ImageToRun(Options, BuiltImage);
  if (!path) {
    return {ModuleName(path), tools::RunHostModule(Board.Bus, {.Hobs = Board.Config().Hobs})};
  }
  const emu::PeImage image = LoadImage(*path);
  emu::RunOptions options = emu::ImageRunOptions(Board.Config());
  options.Debugger = Debugger;
  const emu::RunResult result = emu::RunImage(image, Board.Bus, options);
  return {ModuleName(path), {result.Status, result.Failure, result.StackUsed}};
}

ModuleSlotCall CallSlot(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                        const std::optional<tools::SlotRequest>& Request,
                        emu::GdbServer* Debugger) {
  const std::optional<std::string> path = ImageToRun(Options, BuiltImage);
  if (!path) {
    return {ModuleName(path),
            tools::CallSlotOnHost(Board.Bus, {.Hobs = Board.Config().Hobs}, Request)};
  }
  const emu::PeImage image = LoadImage(*path);
  return {ModuleName(path), CallSlotInImage(image, FindGetActivePmic(MapOf(Options.MapPath, *path)),
                                            Board, Request, Debugger)};
}

} // namespace boardsim

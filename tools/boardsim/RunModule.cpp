#include "tools/boardsim/RunModule.h"

#include "emu/ImageRun.h"
#include "emu/LinkerMap.h"
#include "tools/boardsim/ImageSlotCall.h"
#include "tools/run/ToolError.h"

#include <filesystem>

namespace boardsim {

namespace {
constexpr const char* GetActivePmicSymbol = "_GetActivePmic"; // an i386 C name
} // namespace

emu::PeImage LoadImage(const std::string& Path) {
  try {
    return emu::ReadModuleFile(Path);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + Path + ": " + error.what(), tools::ExitBadInput);
  }
}

uint32_t FindGetActivePmic(const std::string& ImagePath) {
  const std::string path = std::filesystem::path(ImagePath).replace_extension(".map").string();
  std::optional<uint32_t> rva;
  try {
    rva = emu::ReadLinkerMap(path).FindSymbol(GetActivePmicSymbol);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + path + ": " + error.what(), tools::ExitBadInput);
  }
  if (!rva) {
    throw tools::ToolError("boardsim: " + path + ": no " + GetActivePmicSymbol + " in the map",
                           tools::ExitBadInput);
  }
  return *rva;
}

std::optional<std::string> ImageToRun(const RunOptions& Options, const std::string& BuiltImage) {
  return Options.Host ? std::nullopt : std::optional(Options.ImagePath.value_or(BuiltImage));
}

std::string ModuleName(const std::optional<std::string>& Image) {
  return Image ? "image " + *Image : "host build";
}

ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage) {
  const std::optional<std::string> path = ImageToRun(Options, BuiltImage);
  if (!path) {
    return {ModuleName(path), tools::RunHostModule(Board.Bus, {.Hobs = Board.Config().Hobs})};
  }
  const emu::PeImage image = LoadImage(*path);
  const emu::RunResult result =
      emu::RunImage(image, Board.Bus, emu::ImageRunOptions(Board.Config()));
  return {ModuleName(path), {result.Status, result.Failure}};
}

ModuleSlotCall CallSlot(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                        const std::optional<tools::SlotRequest>& Request) {
  const std::optional<std::string> path = ImageToRun(Options, BuiltImage);
  if (!path) {
    return {ModuleName(path),
            tools::CallSlotOnHost(Board.Bus, {.Hobs = Board.Config().Hobs}, Request)};
  }
  const emu::PeImage image = LoadImage(*path);
  return {ModuleName(path), CallSlotInImage(image, FindGetActivePmic(*path), Board, Request)};
}

} // namespace boardsim

#include "tools/boardsim/RunModule.h"

#include "emu/ImageRun.h"
#include "emu/LinkerMap.h"
#include "tools/boardsim/ImageSlotCall.h"
#include "tools/run/ToolError.h"

#include <filesystem>

namespace boardsim {

namespace {

constexpr const char* GetActivePmicSymbol = "_GetActivePmic"; // an i386 C name

emu::PeImage LoadImage(const std::string& Path) {
  try {
    return emu::ReadPeFile(Path);
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

} // namespace

ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage) {
  if (Options.Host) {
    return {"host build", tools::RunHostModule(Board.Bus, {.Hobs = Board.Config().Hobs})};
  }
  const std::string path = Options.ImagePath.value_or(BuiltImage);
  const emu::PeImage image = LoadImage(path);
  const emu::RunResult result =
      emu::RunImage(image, Board.Bus, emu::ImageRunOptions(Board.Config()));
  return {"image " + path, {result.Status, result.Failure}};
}

ModuleSlotCall CallSlot(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                        const std::optional<tools::SlotRequest>& Request) {
  if (Options.Host) {
    return {"host build", tools::CallSlotOnHost(Board.Bus, {.Hobs = Board.Config().Hobs}, Request)};
  }
  const std::string path = Options.ImagePath.value_or(BuiltImage);
  const emu::PeImage image = LoadImage(path);
  return {"image " + path, CallSlotInImage(image, FindGetActivePmic(path), Board, Request)};
}

} // namespace boardsim

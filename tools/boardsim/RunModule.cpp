#include "tools/boardsim/RunModule.h"

#include "emu/ImageRun.h"
#include "tools/run/ToolError.h"

namespace boardsim {

ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage) {
  if (Options.Host) {
    return {"host build", tools::RunHostModule(Board.Bus, {.Hobs = Board.Config().Hobs})};
  }
  const std::string path = Options.ImagePath.value_or(BuiltImage);
  emu::PeImage image;
  try {
    image = emu::ReadPeFile(path);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + path + ": " + error.what(), tools::ExitBadInput);
  }
  const emu::RunResult result =
      emu::RunImage(image, Board.Bus, emu::ImageRunOptions(Board.Config()));
  return {"image " + path, {result.Status, result.Failure}};
}

} // namespace boardsim

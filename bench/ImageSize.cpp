// image_size [--boards DIR] IMAGE MAP [REPORT [TE FFS VOLUME]]: prints the image's size report,
// with the shipped forms' sizes when they are named and the deepest stack use over the boards of
// DIR when it is named, and writes it to REPORT too.
#include "bench/ImageSizeReport.h"
#include "bench/StackReport.h"

#include "common/ToolError.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view Usage =
    "usage: image_size [--boards DIR] IMAGE MAP [REPORT [TE FFS VOLUME]]";

// The runs' errors are worded for boardsim's command line; here they are image_size's.
std::string_view OwnWords(std::string_view Message) {
  constexpr std::string_view borrowed = "boardsim: ";
  if (Message.starts_with(borrowed)) {
    Message.remove_prefix(borrowed.size());
  }
  return Message;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::optional<std::string> boardsDir;
  if (!args.empty() && args.front() == "--boards") {
    if (args.size() < 2) {
      std::cerr << Usage << '\n';
      return 2;
    }
    boardsDir = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2 && args.size() != 3 && args.size() != 6) {
    std::cerr << Usage << '\n';
    return 2;
  }
  const std::string& imagePath = args[0];
  std::ostringstream text;
  try {
    const std::vector<uint8_t> file = emu::ReadFileBytes(imagePath);
    const bench::SizeReport report =
        bench::MeasureImage(std::filesystem::path(imagePath).filename().string(), file.size(),
                            emu::ParsePe(file), emu::ReadLinkerMap(args[1]));
    bench::PrintSizeReport(text, report);
    if (args.size() == 6) {
      const std::vector<uint8_t> volume = emu::ReadFileBytes(args[5]);
      bench::PrintShippedSizes(
          text, bench::MeasureShippedForms(file.size(), emu::ReadFileBytes(args[3]).size(),
                                           emu::ReadFileBytes(args[4]).size(), volume));
    }
  } catch (const std::runtime_error& error) {
    std::cerr << "image_size: " << imagePath << ": " << error.what() << '\n';
    return 2;
  }
  if (boardsDir) {
    try {
      bench::PrintStackReport(text, bench::MeasureStack(imagePath, args[1], *boardsDir));
    } catch (const tools::ToolError& error) {
      std::cerr << "image_size: " << OwnWords(error.what()) << '\n';
      return 2;
    }
  }
  std::cout << text.str();
  if (args.size() >= 3) {
    std::ofstream out(args[2]);
    out << text.str();
    if (!out) {
      std::cerr << "image_size: cannot write " << args[2] << '\n';
      return 2;
    }
  }
  return 0;
}

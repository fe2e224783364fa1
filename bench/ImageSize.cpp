// image_size IMAGE MAP [REPORT [TE FFS VOLUME]]: prints the image's size report, with the shipped
// forms' sizes when they are named, and writes it to REPORT too.
#include "bench/ImageSizeReport.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4 && argc != 7) {
    std::cerr << "usage: image_size IMAGE MAP [REPORT [TE FFS VOLUME]]\n";
    return 2;
  }
  const std::string imagePath = argv[1];
  try {
    const std::vector<uint8_t> file = emu::ReadFileBytes(imagePath);
    const bench::SizeReport report =
        bench::MeasureImage(std::filesystem::path(imagePath).filename().string(), file.size(),
                            emu::ParsePe(file), emu::ReadLinkerMap(argv[2]));
    std::ostringstream text;
    bench::PrintSizeReport(text, report);
    if (argc == 7) {
      const std::vector<uint8_t> volume = emu::ReadFileBytes(argv[6]);
      bench::PrintShippedSizes(
          text, bench::MeasureShippedForms(file.size(), emu::ReadFileBytes(argv[4]).size(),
                                           emu::ReadFileBytes(argv[5]).size(), volume));
    }
    std::cout << text.str();
    if (argc >= 4) {
      std::ofstream out(argv[3]);
      out << text.str();
      if (!out) {
        std::cerr << "image_size: cannot write " << argv[3] << '\n';
        return 2;
      }
    }
  } catch (const std::runtime_error& error) {
    std::cerr << "image_size: " << imagePath << ": " << error.what() << '\n';
    return 2;
  }
  return 0;
}

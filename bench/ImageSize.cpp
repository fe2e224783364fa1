// image_size IMAGE MAP [REPORT]: prints the image's size report, and writes it to REPORT too.
#include "bench/ImageSizeReport.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: image_size IMAGE MAP [REPORT]\n";
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
    std::cout << text.str();
    if (argc == 4) {
      std::ofstream out(argv[3]);
      out << text.str();
      if (!out) {
        std::cerr << "image_size: cannot write " << argv[3] << '\n';
        return 2;
      }
    }
  } catch (const emu::ImageError& error) {
    std::cerr << "image_size: " << imagePath << ": " << error.what() << '\n';
    return 2;
  }
  return 0;
}

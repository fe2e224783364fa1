#include "tools/boardsim/version/VersionCommand.h"
#include "common/Digest.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/StandardStreams.h"
#include "emu/PeImage.h"

#include <iostream>

namespace boardsim {

int VersionCommand(const Installation& Where) {
  std::vector<uint8_t> image;
  try {
    image = emu::ReadFileBytes(Where.BuiltImage);
  } catch (const emu::ImageError& error) {
    throw tools::ToolError("boardsim: " + tools::Printable(Where.BuiltImage) + ": " + error.what(),
                           tools::ExitBadInput);
  }
  // The image's version section carries the same version and build number (one CMake variable
  // each names them for both).
  std::cout << "boardsim " BOARDINIT_VERSION " build " << BOARDINIT_BUILD_NUMBER << '\n'
            << "image    " << tools::Printable(Where.BuiltImage) << '\n'
            << "sha256   " << tools::Sha256Hex(image.data(), image.size()) << '\n';
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim

#include "tools/boardsim/version/VersionCommand.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/StandardStreams.h"
#include "emu/PeImage.h"

#include <nettle/sha2.h>

#include <cstdio>
#include <iostream>

namespace boardsim {

namespace {

std::string Sha256(const std::vector<uint8_t>& Bytes) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, Bytes.size(), Bytes.data());
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  std::string text;
  for (const uint8_t byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

} // namespace

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
            << "sha256   " << Sha256(image) << '\n';
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim

#include "common/Digest.h"

#include <nettle/sha2.h>

#include <cstdint>

namespace tools {

std::string Sha256Hex(const void* Data, size_t Size) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, Size, static_cast<const uint8_t*>(Data));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += Digits[byte >> 4];
    text += Digits[byte & 0xF];
  }
  return text;
}

} // namespace tools

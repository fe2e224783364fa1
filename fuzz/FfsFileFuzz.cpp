// The FFS file reader on arbitrary bytes: a file, or one FormatError. What it accepts lies
// inside the input, and so does every section it found.
#include "package/Bytes.h"
#include "package/Ffs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  package::ParsedFile file;
  try {
    file = package::ParseFile(std::span<const uint8_t>(Data, Size));
  } catch (const package::FormatError&) {
    return 0;
  }
  if (file.Size < package::FileHeaderSize || file.Size > Size) {
    std::abort();
  }
  for (const auto& section : file.Sections) {
    if (uint64_t{section.Offset} + section.Size > file.Size - package::FileHeaderSize ||
        section.Data.size() + section.HeaderSize != section.Size) {
      std::abort();
    }
  }
  return 0;
}

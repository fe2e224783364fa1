#include "package/tool/FileBytes.h"

#include "package/Bytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace package {

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in.is_open()) {
    throw FormatError("cannot open " + Path);
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) {
    throw FormatError("cannot read " + Path);
  }
  return bytes;
}

void WriteFileBytes(const std::string& Path, std::span<const uint8_t> Bytes) {
  const std::string temporary = Path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    out.flush();
    if (!out) {
      std::filesystem::remove(temporary);
      throw FormatError("cannot write " + temporary);
    }
  }
  std::filesystem::rename(temporary, Path);
}

} // namespace package

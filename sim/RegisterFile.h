// Plain little-endian register storage: reads give back what was written, at any width.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

class RegisterFile {
public:
  RegisterFile() = default; // none: a place for a saved one
  explicit RegisterFile(uint32_t Size, uint8_t Fill = 0) : bytes_(Size, Fill) {}

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

  uint32_t Get(uint32_t Offset, unsigned Width) const {
    uint32_t value = 0;
    for (unsigned byte = 0; byte < Width / 8 && Offset + byte < bytes_.size(); ++byte) {
      value |= static_cast<uint32_t>(bytes_[Offset + byte]) << (8 * byte);
    }
    return value;
  }

  void Set(uint32_t Offset, unsigned Width, uint32_t Value) {
    for (unsigned byte = 0; byte < Width / 8 && Offset + byte < bytes_.size(); ++byte) {
      bytes_[Offset + byte] = static_cast<uint8_t>(Value >> (8 * byte));
    }
  }

  uint32_t Get32(uint32_t Offset) const { return Get(Offset, 32); }
  void Set32(uint32_t Offset, uint32_t Value) { Set(Offset, 32, Value); }

private:
  std::vector<uint8_t> bytes_;
};

} // namespace sim

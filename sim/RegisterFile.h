// Plain little-endian register storage: reads give back what was written, at any width.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sim {

class RegisterFile {
public:
  RegisterFile() = default; // none: a place for a saved one
  explicit RegisterFile(uint32_t Size, uint8_t Fill = 0) : bytes_(Size, Fill) {}

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

  uint32_t Get(uint32_t Offset, unsigned Width) const {
    // A register wholly inside the file is one load on a little-endian host; the loop below
    // handles a register cut short by the file's end.
    if (Inside(Offset, Width)) {
      switch (Width) {
      case 8:
        return bytes_[Offset];
      case 16:
        return Load<uint16_t>(Offset);
      case 32:
        return Load<uint32_t>(Offset);
      }
    }
    uint32_t value = 0;
    for (unsigned byte = 0; byte < Width / 8 && Offset + byte < bytes_.size(); ++byte) {
      value |= static_cast<uint32_t>(bytes_[Offset + byte]) << (8 * byte);
    }
    return value;
  }

  void Set(uint32_t Offset, unsigned Width, uint32_t Value) {
    if (Inside(Offset, Width)) {
      switch (Width) {
      case 8:
        bytes_[Offset] = static_cast<uint8_t>(Value);
        return;
      case 16:
        return Store(Offset, static_cast<uint16_t>(Value));
      case 32:
        return Store(Offset, Value);
      }
    }
    for (unsigned byte = 0; byte < Width / 8 && Offset + byte < bytes_.size(); ++byte) {
      bytes_[Offset + byte] = static_cast<uint8_t>(Value >> (8 * byte));
    }
  }

  uint32_t Get32(uint32_t Offset) const { return Get(Offset, 32); }
  void Set32(uint32_t Offset, uint32_t Value) { Set(Offset, 32, Value); }

private:
  bool Inside(uint32_t Offset, unsigned Width) const {
    return std::endian::native == std::endian::little &&
           uint64_t{Offset} + Width / 8 <= bytes_.size();
  }
  template <typename T> T Load(uint32_t Offset) const {
    T value;
    std::memcpy(&value, bytes_.data() + Offset, sizeof value);
    return value;
  }
  template <typename T> void Store(uint32_t Offset, T Value) {
    std::memcpy(bytes_.data() + Offset, &Value, sizeof Value);
  }

  std::vector<uint8_t> bytes_;
};

} // namespace sim

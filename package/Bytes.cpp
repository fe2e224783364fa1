#include "package/Bytes.h"

#include "common/Format.h"

namespace package {

void Reader::Need(uint64_t Offset, uint64_t Size, const std::string& What) const {
  if (Offset > data_.size() || Size > data_.size() - Offset) {
    throw FormatError(What + " (" + tools::Hex(Offset) + "+" + tools::Hex(Size) +
                      ") runs past the end (" + std::to_string(data_.size()) + " bytes)");
  }
}

std::span<const uint8_t> Reader::Slice(uint64_t Offset, uint64_t Size,
                                       const std::string& What) const {
  Need(Offset, Size, What);
  return data_.subspan(Offset, Size);
}

uint8_t Reader::U8(uint64_t Offset, const std::string& What) const {
  Need(Offset, 1, What);
  return data_[Offset];
}

uint16_t Reader::U16(uint64_t Offset, const std::string& What) const {
  Need(Offset, 2, What);
  return static_cast<uint16_t>(data_[Offset] | data_[Offset + 1] << 8);
}

uint32_t Reader::U24(uint64_t Offset, const std::string& What) const {
  Need(Offset, 3, What);
  return static_cast<uint32_t>(data_[Offset]) | static_cast<uint32_t>(data_[Offset + 1]) << 8 |
         static_cast<uint32_t>(data_[Offset + 2]) << 16;
}

uint32_t Reader::U32(uint64_t Offset, const std::string& What) const {
  Need(Offset, 4, What);
  return Get32(data_, Offset);
}

uint64_t Reader::U64(uint64_t Offset, const std::string& What) const {
  Need(Offset, 8, What);
  return Get32(data_, Offset) | uint64_t{Get32(data_, Offset + 4)} << 32;
}

void Put16(std::span<uint8_t> Data, size_t Offset, uint16_t Value) {
  Data[Offset] = static_cast<uint8_t>(Value);
  Data[Offset + 1] = static_cast<uint8_t>(Value >> 8);
}

void Put24(std::span<uint8_t> Data, size_t Offset, uint32_t Value) {
  for (size_t i = 0; i < 3; ++i) {
    Data[Offset + i] = static_cast<uint8_t>(Value >> (8 * i));
  }
}

void Put32(std::span<uint8_t> Data, size_t Offset, uint32_t Value) {
  for (size_t i = 0; i < 4; ++i) {
    Data[Offset + i] = static_cast<uint8_t>(Value >> (8 * i));
  }
}

void Put64(std::span<uint8_t> Data, size_t Offset, uint64_t Value) {
  Put32(Data, Offset, static_cast<uint32_t>(Value));
  Put32(Data, Offset + 4, static_cast<uint32_t>(Value >> 32));
}

uint32_t Get32(std::span<const uint8_t> Data, size_t Offset) {
  return static_cast<uint32_t>(Data[Offset]) | static_cast<uint32_t>(Data[Offset + 1]) << 8 |
         static_cast<uint32_t>(Data[Offset + 2]) << 16 |
         static_cast<uint32_t>(Data[Offset + 3]) << 24;
}

uint8_t Sum8(std::span<const uint8_t> Data) {
  uint8_t sum = 0;
  for (uint8_t byte : Data) {
    sum = static_cast<uint8_t>(sum + byte);
  }
  return sum;
}

uint16_t Sum16(std::span<const uint8_t> Data) {
  uint16_t sum = 0;
  for (size_t i = 0; i + 1 < Data.size(); i += 2) {
    sum = static_cast<uint16_t>(sum + (Data[i] | Data[i + 1] << 8));
  }
  return sum;
}

} // namespace package

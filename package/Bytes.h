// Little-endian access to a byte buffer for the readers and writers of this library. Reads
// refuse to leave their input: every read names what it was reading, so a damaged file gives one
// line saying which structure ran out, never a read past the end.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

// Input that is not what it claims to be; the message names the first problem found.
class FormatError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class Reader {
public:
  explicit Reader(std::span<const uint8_t> Data) : data_(Data) {}

  size_t Size() const { return data_.size(); }
  // Throws FormatError unless Size bytes from Offset lie inside the input.
  void Need(uint64_t Offset, uint64_t Size, const std::string& What) const;
  std::span<const uint8_t> Slice(uint64_t Offset, uint64_t Size, const std::string& What) const;
  uint8_t U8(uint64_t Offset, const std::string& What) const;
  uint16_t U16(uint64_t Offset, const std::string& What) const;
  uint32_t U24(uint64_t Offset, const std::string& What) const;
  uint32_t U32(uint64_t Offset, const std::string& What) const;
  uint64_t U64(uint64_t Offset, const std::string& What) const;

private:
  std::span<const uint8_t> data_;
};

// Writers store into a buffer the caller sized; the offsets are the layouts' own, known in range.
void Put16(std::span<uint8_t> Data, size_t Offset, uint16_t Value);
void Put24(std::span<uint8_t> Data, size_t Offset, uint32_t Value);
void Put32(std::span<uint8_t> Data, size_t Offset, uint32_t Value);
void Put64(std::span<uint8_t> Data, size_t Offset, uint64_t Value);
uint32_t Get32(std::span<const uint8_t> Data, size_t Offset);

constexpr uint64_t AlignUp(uint64_t Value, uint64_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

// The PI checksums: an 8-bit or 16-bit sum over the bytes (16-bit: little-endian words) that is
// zero when the checksum field is right.
uint8_t Sum8(std::span<const uint8_t> Data);
uint16_t Sum16(std::span<const uint8_t> Data);

} // namespace package

// The LZMA data of the GUID-defined section that EDK2 firmware compresses its volumes into: five
// property bytes, the uncompressed size as 8 bytes little-endian, then the LZMA1 stream (the .lzma
// format of liblzma, with the size filled in rather than left unknown).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace package {

// Refuses data whose header leaves the size unknown or above MaxLzmaOutput, a stream that does
// not decode, and one that ends before the size the header gives.
std::vector<uint8_t> LzmaDecompress(std::span<const uint8_t> Data);

// The size field is written, and the stream also ends in an end marker, which decoders that know
// the size accept.
std::vector<uint8_t> LzmaCompress(std::span<const uint8_t> Data);

// A firmware volume decompresses to tens of MiB at most; anything claiming more is damaged.
constexpr uint64_t MaxLzmaOutput = 256ull << 20;

} // namespace package

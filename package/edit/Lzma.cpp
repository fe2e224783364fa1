#include "package/edit/Lzma.h"

#include "common/Format.h"
#include "package/Bytes.h"

#include <lzma.h>

namespace package {
namespace {

constexpr size_t PropertiesSize = 5;
constexpr size_t SizeField = 8;
constexpr size_t HeaderSize = PropertiesSize + SizeField;
// Level 1 packs a firmware's volumes within a few percent of what the firmware's own build got
// from its volume, in a quarter of the time of the default level.
constexpr uint32_t Preset = 1;

class Stream {
public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() { lzma_end(&stream); }
  lzma_stream stream = LZMA_STREAM_INIT;
};

} // namespace

std::vector<uint8_t> LzmaDecompress(std::span<const uint8_t> Data) {
  const Reader reader(Data);
  const uint64_t size = reader.U64(PropertiesSize, "LZMA header");
  if (size == UINT64_MAX) {
    throw FormatError("LZMA header: uncompressed size not given");
  }
  if (size > MaxLzmaOutput) {
    throw FormatError("LZMA header: uncompressed size " + tools::Hex(size) + " too large");
  }
  Stream lzma;
  if (lzma_alone_decoder(&lzma.stream, UINT64_MAX) != LZMA_OK) {
    throw FormatError("LZMA: decoder not available");
  }
  std::vector<uint8_t> out(size);
  lzma.stream.next_in = Data.data();
  lzma.stream.avail_in = Data.size();
  lzma.stream.next_out = out.data();
  lzma.stream.avail_out = out.size();
  const lzma_ret result = lzma_code(&lzma.stream, LZMA_FINISH);
  if (result != LZMA_STREAM_END || lzma.stream.total_out != size) {
    throw FormatError("LZMA stream damaged: " + tools::Hex(lzma.stream.total_out) + " of " +
                      tools::Hex(size) + " bytes decoded");
  }
  return out;
}

std::vector<uint8_t> LzmaCompress(std::span<const uint8_t> Data) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, Preset)) {
    throw FormatError("LZMA: preset not available");
  }
  Stream lzma;
  if (lzma_alone_encoder(&lzma.stream, &options) != LZMA_OK) {
    throw FormatError("LZMA: encoder not available");
  }
  // Incompressible data grows by a little over 1/64 in the worst case.
  std::vector<uint8_t> out(HeaderSize + Data.size() + Data.size() / 32 + 4096);
  lzma.stream.next_in = Data.data();
  lzma.stream.avail_in = Data.size();
  lzma.stream.next_out = out.data();
  lzma.stream.avail_out = out.size();
  if (lzma_code(&lzma.stream, LZMA_FINISH) != LZMA_STREAM_END) {
    throw FormatError("LZMA: compression failed");
  }
  out.resize(lzma.stream.total_out);
  Put64(out, PropertiesSize, Data.size());
  return out;
}

} // namespace package

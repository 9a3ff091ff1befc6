// TIFF LZW coder target. The first two bytes give the row length (1..4096); the rest is
// decoded as a strip, row by row, and then encoded as rows and decoded again, which must give
// the rows back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/tiff/tiff_lzw.h"

using namespace velora;

namespace {

// A strip can expand a thousandfold; decoding more shows nothing new.
constexpr int64_t kMaxDecoded = int64_t(1) << 26;

void DecodeStrip(const uint8_t* data, int64_t size, int rowLength) {
  void* state = nullptr;
  for (int64_t total = 0; total < kMaxDecoded; total += rowLength)
    if (!TiffLzwDecode(data, size, rowLength, &state)) break;
  TiffLzwDecode(nullptr, 0, 0, &state);
}

void RoundTrip(const uint8_t* data, int64_t size, int rowLength) {
  TVLMemoryStream stream;
  void* state = nullptr;
  for (int64_t at = 0; at < size; at += rowLength)
    TiffLzwEncode(data + at, int(std::min<int64_t>(rowLength, size - at)), stream, &state);
  TiffLzwEncode(nullptr, 0, stream, &state);
  const int64_t rows = size / rowLength;
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t* row = TiffLzwDecode(stream.Memory(), stream.Size(), rowLength, &state);
    if (!row || std::memcmp(row, data + r * rowLength, size_t(rowLength)) != 0) std::abort();
  }
  TiffLzwDecode(nullptr, 0, 0, &state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  const int rowLength = 1 + ((data[0] | data[1] << 8) & 4095);
  DecodeStrip(data + 2, int64_t(size - 2), rowLength);
  RoundTrip(data + 2, int64_t(size - 2), rowLength);
  return 0;
}

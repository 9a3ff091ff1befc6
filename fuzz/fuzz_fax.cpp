// CCITT fax coder target. The first byte picks the coding (bits 0-1: modified Huffman, Group 3
// one-dimensional, Group 3 two-dimensional, Group 4), the fill order (bit 2) and fill bits
// (bit 3); the next two the width (1..8192). The rest is decoded as a strip, row by row, and
// then taken as rows (1 black), encoded and decoded again, which must give them back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/tiff/fax_coder.h"

using namespace velora;

namespace {

constexpr int kMaxRows = 4000;

struct TFaxDecoder {
  int coding, fillOrder, width;
  bool fillBits;
  const uint8_t* data;
  int64_t size;
  int64_t bit = 0, byte = 0;
  TFaxReferenceLine reference;

  // Decodes a row; false when the strip has nothing left.
  bool Row(uint8_t* row) {
    const int64_t before = bit + byte * 8;
    switch (coding) {
      case 0: byte += DecodeMhRow(row, data + byte, size - byte, width, fillOrder); break;
      case 1: bit = DecodeT4Row(row, data, size, width, fillOrder, bit); break;
      default: bit = DecodeT4T6Row2D(row, data, size, fillBits, fillOrder, bit, reference, width); break;
    }
    if (bit > size * 8 || byte > size) std::abort();
    return bit + byte * 8 > before;
  }
};

std::vector<uint8_t> Encode(int coding, const uint8_t* rows, int count, int width) {
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  TFaxEncoderState state;
  const int rowBytes = (width + 7) / 8;
  for (int y = 0; y <= count; ++y) {
    const uint8_t* row = y < count ? rows + int64_t(y) * rowBytes : nullptr;
    switch (coding) {
      case 0: EncodeMhRow(row, width, stream, progress.record, state); break;
      case 1: EncodeT4Row(row, width, stream, progress.record, state); break;
      case 2: EncodeT4Row2D(row, width, stream, progress.record, state); break;
      default: EncodeT6Row(row, width, stream, progress.record, state); break;
    }
  }
  return stream.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1 << 20)) return 0;
  const int coding = data[0] & 3, fillOrder = data[0] & 4 ? 2 : 1;
  const bool fillBits = data[0] & 8;
  const int width = 1 + ((data[1] | data[2] << 8) & 8191);
  const int rowBytes = (width + 7) / 8;
  const uint8_t* strip = data + 3;
  const int64_t stripSize = int64_t(size - 3);
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));

  TFaxDecoder decoder{coding, fillOrder, width, fillBits, strip, stripSize};
  decoder.reference.Reset(width);
  for (int y = 0; y < kMaxRows && decoder.Row(row.data()); ++y) {
  }

  const int rows = int(std::min<int64_t>(stripSize / rowBytes, 64));
  if (rows == 0) return 0;
  const std::vector<uint8_t> coded = Encode(coding, strip, rows, width);
  TFaxDecoder back{coding, 1, width, false, coded.data(), int64_t(coded.size())};
  back.reference.Reset(width);
  const uint8_t pad = width % 8 ? uint8_t(0xFF << (8 - width % 8)) : 0xFF;
  for (int y = 0; y < rows; ++y) {
    back.Row(row.data());
    const uint8_t* original = strip + int64_t(y) * rowBytes;
    for (int i = 0; i < rowBytes; ++i) {
      const uint8_t mask = i == rowBytes - 1 ? pad : 0xFF;
      if (uint8_t(~row[size_t(i)] & mask) != (original[i] & mask)) std::abort();
    }
  }
  return 0;
}

// Builds small BMP files byte by byte, and reads them through the codec.
#pragma once
#include <cstdint>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "codecs/bmp/bmp_codec.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora::testing {

struct TBmpSpec {
  uint32_t headerSize = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits = 24;
  uint32_t compression = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  std::vector<TRGB> palette;           // written as 3-byte (core) or 4-byte entries
  std::vector<uint32_t> masksInHeader;  // at offsets 40, 44, 48 of a long header
  std::vector<uint32_t> masksAfterHeader;  // where files put them behind a 40-byte header
  std::vector<uint8_t> embedded;           // a JPEG or PNG file as the pixel data (compression 4, 5)
  std::vector<uint8_t> pixels;
  bool setOffBits = true;
  bool setFileSize = true;
};

inline void PutLE(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

inline std::vector<uint8_t> BuildBmp(const TBmpSpec& s) {
  std::vector<uint8_t> out(14 + s.headerSize, 0);
  out[0] = 'B', out[1] = 'M';
  PutLE(out, 14, s.headerSize, 4);
  if (s.headerSize == 12) {
    PutLE(out, 18, uint32_t(s.width), 2);
    PutLE(out, 20, uint32_t(s.height), 2);
    PutLE(out, 22, 1, 2);
    PutLE(out, 24, s.bits, 2);
  } else {
    PutLE(out, 18, uint32_t(s.width), 4);
    PutLE(out, 22, uint32_t(s.height), 4);
    PutLE(out, 26, 1, 2);
    PutLE(out, 28, s.bits, 2);
    PutLE(out, 30, s.compression, 4);
    PutLE(out, 34, uint32_t(s.pixels.size() + s.embedded.size()), 4);
    PutLE(out, 38, uint32_t(s.xPelsPerMeter), 4);
    PutLE(out, 42, uint32_t(s.yPelsPerMeter), 4);
    PutLE(out, 46, s.clrUsed, 4);
    for (size_t i = 0; i < s.masksInHeader.size(); ++i) PutLE(out, 14 + 40 + 4 * i, s.masksInHeader[i], 4);
  }
  for (uint32_t m : s.masksAfterHeader) out.insert(out.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
  for (const TRGB& c : s.palette) {
    out.insert(out.end(), {c.b, c.g, c.r});
    if (s.headerSize != 12) out.push_back(0);
  }
  if (s.setOffBits) PutLE(out, 10, uint32_t(out.size()), 4);
  out.insert(out.end(), s.pixels.begin(), s.pixels.end());
  out.insert(out.end(), s.embedded.begin(), s.embedded.end());
  if (s.setFileSize) PutLE(out, 2, uint32_t(out.size()), 4);
  return out;
}

// One read of a file held in memory.
struct TBmpRead {
  TBitmap bitmap;
  TIOParamsVals params;
  TVLLocalProgress progress;
  bool aborted = false;

  explicit TBmpRead(const std::vector<uint8_t>& file, bool headerOnly = false, int64_t size = 0) {
    TVLBufferStream stream(file.data(), int64_t(file.size()));
    BmpReadStream(stream, headerOnly ? nullptr : &bitmap, size, headerOnly, progress.record, params);
    aborted = progress.aborting;
  }
  TRGB Pixel(int x, int y) const { return reinterpret_cast<const TRGB*>(bitmap.ScanLine(y))[x]; }
};

}  // namespace velora::testing

// Shared by the TIFF writer tests: the pictures they write and a small reader of what was
// written (the header, the chain of IFDs and their entries), so that the writer's layout is
// checked without any TIFF reader.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "bitmap/toolkit_bitmap.h"
#include "codecs/tiff/tiff_codec.h"
#include "codecs/tiff/tiff_lzw.h"
#include "io/io_params.h"

namespace velora::tifftest {

// A colourful 24-bit picture: gradients, a few flat areas (runs for PackBits) and pure
// primaries, so that every conversion and coder has something to get wrong.
inline std::unique_ptr<TBitmap> ColourPicture(int width = 37, int height = 23) {
  auto bmp = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    auto* px = reinterpret_cast<TRGB*>(bmp->ScanLine(y));
    for (int x = 0; x < width; ++x) {
      if (y < 4)
        px[x] = x < width / 3 ? TRGB{0, 0, 255} : x < 2 * width / 3 ? TRGB{0, 255, 0} : TRGB{255, 0, 0};
      else if (y > height - 4)
        px[x] = TRGB{200, 200, 200};
      else
        px[x] = TRGB{uint8_t(x * 7 + y), uint8_t(255 - y * 9), uint8_t(x * 13 ^ y * 5)};
    }
  }
  return bmp;
}

// Colours away from the corners of the sRGB cube, where 8-bit L*a*b* steps move a channel by
// much more than one level (pure green comes back with red 7 through the standard conversion).
inline std::unique_ptr<TBitmap> MidtonePicture(int width = 37, int height = 23) {
  auto bmp = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    auto* px = reinterpret_cast<TRGB*>(bmp->ScanLine(y));
    for (int x = 0; x < width; ++x)
      px[x] = TRGB{uint8_t(70 + (x * 5 + y) % 120), uint8_t(190 - y * 7 % 120), uint8_t(70 + (x * 13 ^ y * 5) % 120)};
  }
  return bmp;
}

// A 1-bit picture of strokes and blocks (0 black, 1 white).
inline std::unique_ptr<TBitmap> MonoPicture(int width = 61, int height = 29) {
  auto bmp = std::make_unique<TBitmap>(width, height, TPixelFormat::pf1bit);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bmp->ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const bool black = (x % 11 < 2) || (y % 9 == 3 && x > 5) || (x > 40 && y > 15 && (x + y) % 3 == 0);
      if (!black) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
  }
  return bmp;
}

struct TWritten {
  int pages = 0;
  bool aborting = false;
  std::string reason;
};

// What a test asks of the writer, on a record with the TIFF LZW encoder in its slot.
inline void SetWriterParams(TIOParamsVals& params, int compression, int photometric = 2, bool bilevel = false) {
  params.TiffLzwCompressor = TiffLzwEncode;
  params.TiffCompression = uint8_t(compression);
  params.TiffPhotometric = uint8_t(photometric);
  if (bilevel) params.BitsPerSample = 1, params.SamplesPerPixel = 1;
  params.DpiX = 300, params.DpiY = 150;
}

inline TWritten WriteTiff(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, bool insert = false) {
  TVLLocalProgress progress;
  TWritten w;
  w.pages = TiffWriteStream(stream, insert, bitmap, progress.record, params);
  w.aborting = progress.aborting;
  w.reason = progress.reason;
  return w;
}

// One IFD as written: its entries by tag (type, count and the raw value bytes, fetched from
// the offset when they lie outside the entry).
struct TIfdEntry {
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> bytes;
  uint32_t U(size_t i = 0) const {  // value i of a SHORT or LONG entry
    return type == 3 ? uint32_t(bytes[2 * i] | bytes[2 * i + 1] << 8)
                     : uint32_t(bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | bytes[4 * i + 3] << 24);
  }
};
struct TIfd {
  uint32_t offset = 0;
  std::vector<uint16_t> order;  // tags as they follow each other
  std::map<uint16_t, TIfdEntry> entries;
  bool Has(uint16_t tag) const { return entries.count(tag) != 0; }
  const TIfdEntry& operator[](uint16_t tag) const { return entries.at(tag); }
};

inline uint32_t U32At(const std::vector<uint8_t>& f, size_t at) {
  return uint32_t(f[at] | f[at + 1] << 8 | f[at + 2] << 16 | f[at + 3] << 24);
}

// The chain of a little-endian file written by us (well formed, so checked only loosely).
inline std::vector<TIfd> ParseChain(const std::vector<uint8_t>& f) {
  std::vector<TIfd> chain;
  if (f.size() < 8 || f[0] != 'I' || f[1] != 'I') return chain;
  for (uint32_t at = U32At(f, 4); at != 0 && at + 2 <= f.size() && chain.size() < 50;) {
    TIfd ifd;
    ifd.offset = at;
    const int n = f[at] | f[at + 1] << 8;
    for (int i = 0; i < n; ++i) {
      const size_t e = at + 2 + 12 * size_t(i);
      const uint16_t tag = uint16_t(f[e] | f[e + 1] << 8);
      TIfdEntry entry;
      entry.type = uint16_t(f[e + 2] | f[e + 3] << 8);
      entry.count = U32At(f, e + 4);
      const size_t unit = entry.type == 3 ? 2 : entry.type == 4 ? 4 : entry.type == 5 ? 8 : 1;
      const size_t size = unit * entry.count;
      const size_t from = size <= 4 ? e + 8 : U32At(f, e + 8);
      entry.bytes.assign(f.begin() + long(from), f.begin() + long(std::min(f.size(), from + size)));
      ifd.order.push_back(tag);
      ifd.entries[tag] = entry;
    }
    chain.push_back(ifd);
    at = U32At(f, at + 2 + 12 * size_t(n));
  }
  return chain;
}

}  // namespace velora::tifftest

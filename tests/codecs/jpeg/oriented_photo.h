// Photos as a camera on its side stores them: a small asymmetric picture in a JPEG whose APP1
// "Exif" block records an Orientation, and the upright picture worked out pixel by pixel.
#pragma once
#include <algorithm>
#include <cstdlib>
#include <string>

#include "codecs/jpeg/jpeg_codec.h"
#include "test_bytes.h"

namespace velora::orienttest {

// Flat 16 × 16 blocks of distinct colours: chroma subsampling and the 8 × 8 transform keep a
// block's inside within a step or two, and any wrong turn or mirror moves a whole block. The
// top-left block alone is bright blue, so a glance at a picture tells where it went.
inline void FillBlocks(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = bmp.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x / 16 == 0 && y / 16 == 0 ? 255 : 30);
      p[1] = uint8_t(60 * (y / 16));
      p[2] = uint8_t(40 * (x / 16));
    }
}

struct TExifLayout {
  bool bigEndian = false;
  bool longValue = false;  // Orientation as a LONG, as a few cameras write it
};

// "Exif\0\0", then a TIFF header and an IFD 0 of two entries: Make first, so that Orientation
// is not the first entry a reader meets, then Orientation.
inline std::string ExifWithOrientation(int orientation, TExifLayout layout = {}) {
  testbytes::Bytes b;
  auto u16 = [&](unsigned v) {
    if (layout.bigEndian)
      b.push_back(uint8_t(v >> 8)), b.push_back(uint8_t(v));
    else
      testbytes::PutU16(b, v);
  };
  auto u32 = [&](uint32_t v) { layout.bigEndian ? (u16(v >> 16), u16(v & 0xFFFF)) : (u16(v & 0xFFFF), u16(v >> 16)); };
  testbytes::Append(b, std::string("Exif\0\0", 6));
  testbytes::Append(b, layout.bigEndian ? "MM" : "II");
  u16(42);
  u32(8);
  u16(2);
  u16(271), u16(2), u32(4), testbytes::Append(b, std::string("Cam", 4));  // Make "Cam"
  u16(274), u16(layout.longValue ? 4 : 3), u32(1);
  if (layout.longValue)
    u32(uint32_t(orientation));
  else
    u16(unsigned(orientation)), u16(0);
  u32(0);  // no IFD 1
  return std::string(b.begin(), b.end());
}

// The JPEG bytes of the blocks picture of w × h, with the given EXIF block (none when empty).
inline std::vector<uint8_t> EncodePhoto(int w, int h, const std::string& exif) {
  TBitmap src;
  FillBlocks(src, w, h);
  TIOParamsVals params;
  params.JpegQuality = 100;
  if (!exif.empty()) params.JpegMarkers.Add(0xE1, exif.data(), int(exif.size()));
  TVLMemoryStream out;
  TVLLocalProgress progress;
  JpegWriteStream(out, src, params, progress.record);
  return out.Data();
}

inline std::string WritePhoto(const std::string& path, int orientation, int w, int h, TExifLayout layout = {}) {
  testbytes::WriteFileBytes(path, EncodePhoto(w, h, ExifWithOrientation(orientation, layout)));
  return path;
}

// Where upright pixel (x, y) comes from in a stored picture of w × h, for Orientation 1..8
// (the EXIF definitions: 6 is to be turned clockwise, 8 counter-clockwise).
inline void StoredPlace(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
  switch (orientation) {
    case 2: sx = w - 1 - x, sy = y; break;
    case 3: sx = w - 1 - x, sy = h - 1 - y; break;
    case 4: sx = x, sy = h - 1 - y; break;
    case 5: sx = y, sy = x; break;
    case 6: sx = y, sy = h - 1 - x; break;
    case 7: sx = w - 1 - y, sy = h - 1 - x; break;
    case 8: sx = w - 1 - y, sy = x; break;
    default: sx = x, sy = y; break;
  }
}

// The largest channel difference between `upright` and `stored` seen through the orientation;
// INT32_MAX when the sizes do not fit together.
inline int UprightDifference(const TBitmap& upright, const TBitmap& stored, int orientation) {
  const int w = stored.Width(), h = stored.Height();
  const bool side = orientation >= 5 && orientation <= 8;
  if (upright.Width() != (side ? h : w) || upright.Height() != (side ? w : h)) return INT32_MAX;
  int worst = 0;
  for (int y = 0; y < upright.Height(); ++y)
    for (int x = 0; x < upright.Width(); ++x) {
      int sx = 0, sy = 0;
      StoredPlace(orientation, w, h, x, y, sx, sy);
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(upright.ScanLine(y)[3 * x + c] - stored.ScanLine(sy)[3 * sx + c]));
    }
  return worst;
}

}  // namespace velora::orienttest

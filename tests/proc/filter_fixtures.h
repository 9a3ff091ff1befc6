// Small pictures for the filter and geometry tests.
#pragma once
#include <cstring>
#include <random>

#include "bitmap/toolkit_bitmap.h"

namespace velora::test {

inline void Varied(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 13 + y * 7);
      p[1] = uint8_t((x * y * 3 + 41) % 256);
      p[2] = uint8_t(255 - ((x + 3 * y) * 5) % 256);
    }
}

// Random pixels drawn from `levels` colours (few levels give many ties of grey).
inline void Random24(TBitmap& b, int w, int h, std::mt19937& rng, int levels = 256) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  std::uniform_int_distribution<int> v(0, levels - 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = uint8_t(v(rng) * 255 / std::max(levels - 1, 1));
}

inline void Random1(TBitmap& b, int w, int h, std::mt19937& rng) {
  b.Reset(w, h, TPixelFormat::pf1bit);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < b.RowLen(); ++i) b.ScanLine(y)[i] = uint8_t(rng());
  // Padding bits beyond the width stay 0, as the writers leave them.
  if (w % 8)
    for (int y = 0; y < h; ++y) b.ScanLine(y)[w / 8] &= uint8_t(0xFF << (8 - w % 8));
  for (int y = 0; y < h; ++y)
    for (int i = (w + 7) / 8; i < b.RowLen(); ++i) b.ScanLine(y)[i] = 0;
}

inline void Fill24(TBitmap& b, int w, int h, uint8_t r, uint8_t g, uint8_t bl) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = bl, p[1] = g, p[2] = r;
    }
}

inline const uint8_t* At(const TBitmap& b, int x, int y) { return b.ScanLine(y) + 3 * x; }

// Same size, format and visible pixels.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
  const int bits = a.BitCount();
  const size_t full = size_t(a.Width()) * size_t(bits) / 8;
  const int rest = int(size_t(a.Width()) * size_t(bits) % 8);
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), full)) return false;
    if (rest) {
      const uint8_t mask = uint8_t(0xFF << (8 - rest));
      if ((a.ScanLine(y)[full] & mask) != (b.ScanLine(y)[full] & mask)) return false;
    }
  }
  return true;
}

}  // namespace velora::test

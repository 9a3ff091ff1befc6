// A photo-like test image: smooth gradients and curves with a little pixel noise, so that
// many thousands of nearby colours occur, as in a photograph.
#pragma once
#include <algorithm>
#include <cmath>

#include "bitmap/toolkit_bitmap.h"

namespace velora::testing {

inline void MakePhotoLike(TBitmap& bmp, int width, int height) {
  bmp.Reset(width, height, TPixelFormat::pf24bit);
  unsigned seed = 1;
  auto clamp = [](double v) { return uint8_t(std::clamp(v, 0.0, 255.0)); };
  for (int y = 0; y < height; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = int((seed >> 16) % 9) - 4;
      const double fx = double(x) / width, fy = double(y) / height;
      row[x] = MakeRGB(clamp(40 + 180 * fx * fy + 30 * std::sin(9 * fx) + noise),
                       clamp(60 + 150 * (1 - fy) * fx + 40 * std::cos(7 * fy + 3 * fx) + noise),
                       clamp(200 - 150 * fy + 25 * std::sin(11 * fx * fy) + noise));
    }
  }
}

}  // namespace velora::testing

// Drawing the selection over a view's 24-bit back buffer: the inverted area and the ants.
#include <algorithm>
#include <cmath>

#include "vl_mask.h"

namespace velora {

namespace {

inline bool BitAt(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

void PutPixel(TBitmap& target, int x, int y, TRGB c) {
  if (x < 0 || y < 0 || x >= target.Width() || y >= target.Height()) return;
  uint8_t* p = target.ScanLine(y) + 3 * int64_t(x);
  p[0] = c.b;
  p[1] = c.g;
  p[2] = c.r;
}

}  // namespace

void TVLMask::DrawInverted(TBitmap& target, int destX, int destY, int destW, int destH, int srcX, int srcY, int srcW,
                           int srcH) {
  if (BitsPerPixel_ != 1 || IsEmpty() || Bits_.empty() || target.BitCount() != 24) return;
  if (destW <= 0 || destH <= 0 || srcW <= 0 || srcH <= 0) return;
  // Unsmoothed stretch: destination pixel (c, r) shows source pixel (srcX + c·srcW/destW, …).
  // Only destination pixels inside the target and mapping into the box can change.
  const int c0 = std::max(0, -destX), c1 = std::min(destW, target.Width() - destX);
  const int r0 = std::max(0, -destY), r1 = std::min(destH, target.Height() - destY);
  std::vector<int> srcCol;
  srcCol.reserve(size_t(std::max(c1 - c0, 0)));
  for (int c = c0; c < c1; ++c) srcCol.push_back(int(srcX + int64_t(c) * srcW / destW));
  for (int r = r0; r < r1; ++r) {
    const int sy = int(srcY + int64_t(r) * srcH / destH);
    if (sy < Y1 || sy > Y2 || sy < 0 || sy >= Height_) continue;
    const uint8_t* m = ScanLine(sy);
    uint8_t* d = target.ScanLine(destY + r) + 3 * int64_t(destX);
    for (int c = c0; c < c1; ++c) {
      const int sx = srcCol[size_t(c - c0)];
      if (sx < X1 || sx > X2 || sx < 0 || sx >= Width_ || !BitAt(m, sx)) continue;
      d[3 * c] ^= 0xFF;
      d[3 * c + 1] ^= 0xFF;
      d[3 * c + 2] ^= 0xFF;
    }
  }
}

// The visible part of the box, scaled once into the cached plane (14-bit fixed-point steps).
void TVLMask::ScaleIntoAnts(int srcX, int srcY, int srcW, int srcH, int destW, int destH, int64_t xs, int64_t ys) {
  std::fill(AntsBuffer_.begin(), AntsBuffer_.end(), uint8_t(0));
  const int r0 = int(std::max<double>(std::trunc(double(Y1 - srcY) * destH / srcH), 0));
  const int r1 = int(std::min<double>(std::trunc(double(Y2 - srcY + 1) * destH / srcH), destH - 1));
  const int c0 = int(std::max<double>(std::trunc(double(X1 - srcX) * destW / srcW), 0));
  const int c1 = int(std::min<double>(std::trunc(double(X2 - srcX + 1) * destW / srcW), destW - 1));
  for (int r = r0; r <= r1; ++r) {
    const int64_t sy = srcY + ((ys * r) >> 14);
    if (sy < 0 || sy >= Height_) continue;
    const uint8_t* m = ScanLine(int(sy));
    uint8_t* d = AntsBuffer_.data() + int64_t(AntsHeight_ - 1 - r) * AntsRowLen_;
    for (int c = c0; c <= c1; ++c) {
      const int64_t sx = srcX + ((xs * c) >> 14);
      if (sx < 0 || sx >= Width_) continue;
      if (BitAt(m, int(sx))) d[c >> 3] |= uint8_t(0x80 >> (c & 7));
    }
  }
}

void TVLMask::DrawAnts(TBitmap& target, int destX, int destY, int phase, TColor colour1, TColor colour2, int srcX,
                       int srcY, int srcW, int srcH, int destW, int destH) {
  if (BitsPerPixel_ != 1 || IsEmpty() || Bits_.empty() || target.BitCount() != 24) return;
  if (destW <= 0 || destH <= 0 || srcW <= 0 || srcH <= 0) return;
  // The cache is kept per width and height (not per area: two sizes of one area have different
  // row lengths).
  if (destW != AntsWidth_ || destH != AntsHeight_) {
    AntsRowLen_ = int(RowSize(destW, 1));
    AntsBuffer_.assign(size_t(int64_t(AntsRowLen_) * destH), 0);
    AntsWidth_ = destW;
    AntsHeight_ = destH;
  }
  // A step below one 16384th (zoom beyond 16384 x) is taken as one, so that nothing divides by 0.
  const int64_t xs = std::max<int64_t>(int64_t(double(srcW) / destW * 16384), 1);
  const int64_t ys = std::max<int64_t>(int64_t(double(srcH) / destH * 16384), 1);
  ScaleIntoAnts(srcX, srcY, srcW, srcH, destW, destH, xs, ys);

  const int r0 = int(std::max<int64_t>((int64_t(Y1 - srcY) * 16384) / ys, 0));
  const int r1 = int(std::min<int64_t>((int64_t(Y2 - srcY + 1) * 16384) / ys + 1, destH - 1));
  const int c0 = int(std::max<int64_t>((int64_t(X1 - srcX) * 16384) / xs, 0));
  const int c1 = int(std::min<int64_t>((int64_t(X2 - srcX + 1) * 16384) / xs + 1, destW - 1));
  const TRGB col1 = TColorToTRGB(colour1 & 0xFFFFFF), col2 = TColorToTRGB(colour2 & 0xFFFFFF);
  for (int r = r0; r <= r1; ++r) {
    const int64_t sy = srcY + ((ys * r) >> 14);
    for (int c = c0; c <= c1; ++c) {
      if (!AntsBit(c, r)) continue;
      const int64_t sx = srcX + ((xs * c) >> 14);
      bool border = false;
      if (c == 0 && sx <= X1) border = true;
      if (c == destW - 1 && sx >= X2) border = true;
      if (r == 0 && sy <= Y1) border = true;
      if (r == destH - 1 && sy >= Y2) border = true;
      // Inside the plane: a border pixel has an unset neighbour; neighbours beyond the plane
      // belong to the edge rules above.
      for (int yy = std::max(r - 1, 0); !border && yy <= std::min(r + 1, destH - 1); ++yy)
        for (int xx = std::max(c - 1, 0); xx <= std::min(c + 1, destW - 1); ++xx)
          if (!AntsBit(xx, yy)) {
            border = true;
            break;
          }
      if (!border) continue;
      const bool second = ((int64_t(c) + destX + destY + phase + r) & 4) != 0;
      PutPixel(target, destX + c, destY + r, second ? col2 : col1);
    }
  }
}

}  // namespace velora

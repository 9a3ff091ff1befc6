// Placeholder until the resampler lands: nearest-pixel stretching for every filter.
#include "resample.h"

#include <cstring>

namespace velora {

void StretchBitmap(const TBitmap& s, TBitmap& d) {
  if (s.Empty() || d.Empty()) return;
  d.SetPixelFormat(s.PixelFormat());
  int bpp = s.BitCount();
  for (int y = 0; y < d.Height(); ++y) {
    const uint8_t* sr = s.ScanLine(int(int64_t(y) * s.Height() / d.Height()));
    uint8_t* dr = d.ScanLine(y);
    for (int x = 0; x < d.Width(); ++x) {
      int sx = int(int64_t(x) * s.Width() / d.Width());
      if (bpp == 24) {
        std::memcpy(dr + 3 * x, sr + 3 * sx, 3);
      } else if (bpp == 1) {
        bool on = sr[sx >> 3] & (0x80 >> (sx & 7));
        if (on) dr[x >> 3] |= uint8_t(0x80 >> (x & 7)); else dr[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
      }
    }
  }
}
void ResampleBitmap(const TBitmap& s, TBitmap& d, TResampleFilter, const TVLProgressRecord*) { StretchBitmap(s, d); }
void ResampleBitmap1Bit(const TBitmap& s, TBitmap& d, TResampleFilter) { ReduceBitmap1Bit(s, TRect{0, 0, s.Width(), s.Height()}, d); }
void ResampleMask(const TVLMask&, TVLMask&, TResampleFilter) {}
void FastResizeBitmap(const TBitmap& s, TBitmap& d) { StretchBitmap(s, d); }
void FastResizeBitmap1Bit(const TBitmap& s, TBitmap& d) { ReduceBitmap1Bit(s, TRect{0, 0, s.Width(), s.Height()}, d); }
void FastResizeMask(const TVLMask&, TVLMask&) {}
void ReduceBitmap1Bit(const TBitmap& s, const TRect& r, TBitmap& d) {
  if (d.Empty() || r.Width() <= 0 || r.Height() <= 0) return;
  d.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < d.Height(); ++y) {
    const uint8_t* sr = s.ScanLine(r.Top + int(int64_t(y) * r.Height() / d.Height()));
    uint8_t* dr = d.ScanLine(y);
    for (int x = 0; x < d.Width(); ++x) {
      int sx = r.Left + int(int64_t(x) * r.Width() / d.Width());
      uint8_t v = (sr[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0;
      dr[3 * x] = dr[3 * x + 1] = dr[3 * x + 2] = v;
    }
  }
}
std::unique_ptr<uint8_t[]> ReduceBits1Bit(const uint8_t*, int, int, const TRect&, int W, int H) {
  int64_t row = RowSize(W, 24);
  return std::unique_ptr<uint8_t[]>(new uint8_t[size_t(row * H)]());
}

}  // namespace velora

// Placeholder for the pixel-format helpers the GIF writer needs, until the real ones land:
// delete this file when merging them.
#include <cstring>

#include "pixel_formats.h"

namespace velora {

namespace {
int Grey(TRGB c) { return (21 * c.r + 71 * c.g + 7 * c.b) / 100; }
}  // namespace

std::unique_ptr<TBitmap> ReduceToTwoColours(const TBitmap& source, TRGB& colour0, TRGB& colour1) {
  if (source.PixelFormat() != TPixelFormat::pf24bit || source.Empty()) return nullptr;
  TRGB c[2] = {*reinterpret_cast<const TRGB*>(source.ScanLine(0)), {}};
  int n = 1;
  for (int y = 0; y < source.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(source.ScanLine(y));
    for (int x = 0; x < source.Width(); ++x) {
      if (row[x] == c[0] || (n == 2 && row[x] == c[1])) continue;
      if (n == 2) return nullptr;
      c[n++] = row[x];
    }
  }
  if (n == 1) c[1] = c[0];
  if (Grey(c[1]) < Grey(c[0])) std::swap(c[0], c[1]);
  colour0 = c[0];
  colour1 = c[1];
  auto mono = std::make_unique<TBitmap>(source.Width(), source.Height(), TPixelFormat::pf1bit);
  for (int y = 0; y < source.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(source.ScanLine(y));
    uint8_t* dst = mono->ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      if (!(row[x] == c[0])) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return mono;
}

void DitherToMono(TBitmap& bitmap, const TVLProgressRecord*) {
  static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  TBitmap mono(bitmap.Width(), bitmap.Height(), TPixelFormat::pf1bit);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    uint8_t* dst = mono.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x)
      if (Grey(row[x]) * 16 > kBayer[y & 3][x & 3] * 255 + 127) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  bitmap.Assign(mono);
}

void ExpandMonoTo24(const TBitmap& source, TBitmap& dest, const TVLProgressRecord*) {
  dest.Reset(source.Width(), source.Height(), TPixelFormat::pf24bit);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* src = source.ScanLine(y);
    uint8_t* dst = dest.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      std::memset(dst + x * 3, (src[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0, 3);
  }
}

void CopyBitmap(const TBitmap& source, TBitmap& dest) { dest.Assign(source); }

int NearestPaletteIndex(const TRGB* palette, int n, TRGB colour) {
  int best = 0, bestD = 1 << 30;
  for (int i = 0; i < n; ++i) {
    int d = (palette[i].r - colour.r) * (palette[i].r - colour.r) + (palette[i].g - colour.g) * (palette[i].g - colour.g) +
            (palette[i].b - colour.b) * (palette[i].b - colour.b);
    if (d < bestD) bestD = d, best = i;
  }
  return best;
}

}  // namespace velora

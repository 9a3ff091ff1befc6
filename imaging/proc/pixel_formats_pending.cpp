// Placeholder for the pixel-format helpers the JPEG and PNG writers need, until the real
// ones land (delete this file then).
#include <cstring>

#include "pixel_formats.h"

namespace velora {

std::unique_ptr<TBitmap> ReduceToTwoColours(const TBitmap& source, TRGB& colour0, TRGB& colour1) {
  if (source.PixelFormat() != TPixelFormat::pf24bit || source.Empty()) return nullptr;
  int count = 0;
  auto out = std::make_unique<TBitmap>();
  out->Reset(source.Width(), source.Height(), TPixelFormat::pf1bit);
  for (int y = 0; y < source.Height(); ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(source.ScanLine(y));
    uint8_t* dst = out->ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      if (count == 0) colour0 = row[x], count = 1;
      if (!(row[x] == colour0)) {
        if (count == 1) colour1 = row[x], count = 2;
        else if (!(row[x] == colour1)) return nullptr;
        dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
      }
    }
  }
  if (count != 2) return nullptr;
  auto grey = [](TRGB c) { return (21 * c.r + 71 * c.g + 7 * c.b + 50) / 100; };
  if (grey(colour1) < grey(colour0)) {
    InvertMono(*out);
    std::swap(colour0, colour1);
  }
  return out;
}

void DitherToMono(TBitmap& bitmap, const TVLProgressRecord*) {
  static const uint8_t M[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                  {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                  {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                  {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit || bitmap.Empty()) return;
  TBitmap mono;
  mono.Reset(bitmap.Width(), bitmap.Height(), TPixelFormat::pf1bit);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    uint8_t* dst = mono.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      int g = (21 * row[x].r + 71 * row[x].g + 7 * row[x].b) / 100 / 4;
      if (g > M[x & 7][y & 7]) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
  CopyBitmap(mono, bitmap);
}

void ExpandMonoTo24(const TBitmap& source, TBitmap& dest, const TVLProgressRecord*) {
  dest.Reset(source.Width(), source.Height(), TPixelFormat::pf24bit);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* src = source.ScanLine(y);
    uint8_t* dst = dest.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      uint8_t v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = v;
    }
  }
}

void CopyBitmap(const TBitmap& source, TBitmap& dest) {
  dest.Reset(1, 1, source.PixelFormat());
  if (source.Empty()) return;
  dest.SetSize(source.Width(), source.Height());
  std::memcpy(dest.Bits(), source.Bits(), size_t(source.ImageSize()));
}

std::unique_ptr<TBitmap> CloneBitmap(const TBitmap& source) {
  auto b = std::make_unique<TBitmap>();
  CopyBitmap(source, *b);
  return b;
}

void InvertMono(TBitmap& bitmap) {
  uint8_t* p = bitmap.Bits();
  for (int64_t i = 0; p && i < bitmap.ImageSize(); ++i) p[i] = uint8_t(~p[i]);
}

}  // namespace velora

#include "pixel_formats.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velora {

const uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

namespace {

// For every byte value, its eight pixels as 24-bit colours, most significant bit first.
struct TExpansionTable {
  uint8_t bytes[256][24];
  TExpansionTable() {
    for (int v = 0; v < 256; ++v)
      for (int bit = 0; bit < 8; ++bit)
        std::memset(&bytes[v][bit * 3], (v & (0x80 >> bit)) ? 255 : 0, 3);
  }
};

const TExpansionTable& ExpansionTable() {
  static const TExpansionTable table;
  return table;
}

void ReportRow(const TVLProgressRecord* progress, int rowsDone, int height) {
  if (progress) progress->Report(int(rowsDone * 100 / (height + 0.5)));
}

int GreyOf(TRGB c) { return (21 * c.r + 71 * c.g + 7 * c.b) / 100; }
double RoundedGreyOf(TRGB c) { return std::nearbyint((21 * c.r + 71 * c.g + 7 * c.b) / 100.0); }

}  // namespace

std::unique_ptr<TBitmap> ReduceToTwoColours(const TBitmap& source, TRGB& colour0, TRGB& colour1) {
  if (source.PixelFormat() != TPixelFormat::pf24bit) return nullptr;
  auto mono = std::make_unique<TBitmap>();
  mono->Reset(source.Width(), source.Height(), TPixelFormat::pf1bit);
  // At most three colours are ever told apart (the third one ends the scan), so a tiny
  // list does what a hashed set would.
  TRGB seen[3];
  int count = 0;
  for (int y = 0; y < source.Height() && count <= 2; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(source.ScanLine(y));
    uint8_t* out = mono->ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      const TRGB c = row[x];
      if (!std::any_of(seen, seen + count, [&](const TRGB& s) { return s == c; })) {
        seen[count++] = c;
        if (count > 2) break;
      }
      if (!(c == seen[0])) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
  if (count != 2) return nullptr;
  colour0 = seen[0];
  colour1 = seen[1];
  if (RoundedGreyOf(colour1) < RoundedGreyOf(colour0)) {
    InvertMono(*mono);
    std::swap(colour0, colour1);
  }
  return mono;
}

void DitherToMono(TBitmap& bitmap, const TVLProgressRecord* progress) {
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
  TBitmap mono;
  mono.Reset(bitmap.Width(), bitmap.Height(), TPixelFormat::pf1bit);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    uint8_t* out = mono.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x)
      if (GreyOf(row[x]) / 4 > kBayer8[x & 7][y & 7]) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
    ReportRow(progress, y + 1, bitmap.Height());
  }
  CopyBitmap(mono, bitmap);
}

void ExpandMonoTo24(const TBitmap& source, TBitmap& dest, const TVLProgressRecord* progress) {
  const TExpansionTable& table = ExpansionTable();
  const int width = source.Width(), height = source.Height();
  dest.Reset(width, height, TPixelFormat::pf24bit);
  if (source.PixelFormat() != TPixelFormat::pf1bit) return;
  const int fullBytes = width / 8, rest = width % 8;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* out = dest.ScanLine(y);
    for (int i = 0; i < fullBytes; ++i) std::memcpy(out + i * 24, table.bytes[in[i]], 24);
    if (rest) std::memcpy(out + fullBytes * 24, table.bytes[in[fullBytes]], size_t(rest) * 3);
    ReportRow(progress, y + 1, height);
  }
}

void CopyBitmap(const TBitmap& source, TBitmap& dest) {
  if (&source == &dest) return;
  dest.Reset(1, 1, source.PixelFormat());
  if (source.PaletteCount() > 0) dest.SetPalette(source.Palette(), source.PaletteCount());
  if (source.Empty()) return;
  dest.SetSize(source.Width(), source.Height());
  std::memcpy(dest.Bits(), source.Bits(), size_t(source.ImageSize()));
}

std::unique_ptr<TBitmap> CloneBitmap(const TBitmap& source) {
  auto copy = std::make_unique<TBitmap>();
  CopyBitmap(source, *copy);
  return copy;
}

void CopyBitmapRect(const TBitmap& source, TBitmap& dest, int x0, int y0, int x1, int y1) {
  if (&source == &dest) return;
  if (x1 == 0 || x1 > source.Width()) x1 = source.Width();
  if (y1 == 0 || y1 > source.Height()) y1 = source.Height();
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  const int width = std::max(x1 - x0, 0), height = std::max(y1 - y0, 0);
  dest.Reset(1, 1, source.PixelFormat());
  if (source.PaletteCount() > 0) dest.SetPalette(source.Palette(), source.PaletteCount());
  dest.SetSize(width, height);
  if (dest.Empty()) return;
  const int bits = source.BitCount();
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = source.ScanLine(y0 + y);
    uint8_t* out = dest.ScanLine(y);
    if (bits == 1) {
      for (int x = 0; x < width; ++x) {
        const int sx = x0 + x;
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        if (in[sx >> 3] & (0x80 >> (sx & 7)))
          out[x >> 3] |= mask;
        else
          out[x >> 3] &= uint8_t(~mask);
      }
    } else if (bits % 8 == 0) {
      const int bytes = bits / 8;
      std::memcpy(out, in + int64_t(x0) * bytes, size_t(width) * bytes);
    }
  }
}

void InvertMono(TBitmap& bitmap) {
  uint8_t* p = bitmap.Bits();
  const int64_t size = bitmap.ImageSize();
  for (int64_t i = 0; i < size; ++i) p[i] = uint8_t(~p[i]);
}

int NearestPaletteIndex(const TRGB* palette, int n, TRGB colour) {
  int best = 0, bestDistance = 1000;
  for (int i = 0; i < n; ++i) {
    const TRGB& p = palette[i];
    const int d = std::abs(p.r - colour.r) + std::abs(p.g - colour.g) + std::abs(p.b - colour.b);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

bool IsAllGrey(const TBitmap& bitmap) {
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) return true;
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return false;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* px = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x)
      if (px[x].r != px[x].g || px[x].g != px[x].b) return false;
  }
  return true;
}

uint8_t WidenChannel(uint32_t value, int width) {
  if (width <= 0) return 0;
  if (width >= 8) return uint8_t(value >> (width - 8));
  const uint32_t top = value << (8 - width);
  uint32_t out = top;
  for (int shift = width; shift < 8; shift += width) out |= top >> shift;
  return uint8_t(out);
}

void SwapRedBlue(uint8_t* entries, int n) {
  for (int i = 0; i < n; ++i) std::swap(entries[i * 3], entries[i * 3 + 2]);
}

void ConvertTo24Bit(TBitmap& bitmap) {
  const int width = bitmap.Width(), height = bitmap.Height();
  const TPixelFormat pf = bitmap.PixelFormat();
  // Already 24 bits: the per-format switch below has no case for it and would blacken it.
  if (pf == TPixelFormat::pf24bit) return;
  TBitmap source;
  source.Assign(bitmap);
  bitmap.Reset(1, 1, TPixelFormat::pf24bit);
  bitmap.SetSize(width, height);
  if (source.Empty()) return;
  const int paletteCount = source.PaletteCount();
  auto paletteColour = [&](int index) {
    return index < paletteCount ? source.PaletteEntry(index) : TRGB{};
  };
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x, out += 3) {
      TRGB c{};
      switch (pf) {
        case TPixelFormat::pf1bit: c = paletteColour((in[x >> 3] >> (7 - (x & 7))) & 1); break;
        case TPixelFormat::pf4bit: c = paletteColour((in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        case TPixelFormat::pf8bit: c = paletteColour(in[x]); break;
        case TPixelFormat::pf15bit: {
          unsigned v = in[2 * x] | in[2 * x + 1] << 8;
          c = TRGB{uint8_t((v & 31) * 255 / 31), uint8_t(((v >> 5) & 31) * 255 / 31), uint8_t(((v >> 10) & 31) * 255 / 31)};
          break;
        }
        case TPixelFormat::pf16bit: {
          unsigned v = in[2 * x] | in[2 * x + 1] << 8;
          c = TRGB{uint8_t((v & 31) * 255 / 31), uint8_t(((v >> 5) & 63) * 255 / 63), uint8_t(((v >> 11) & 31) * 255 / 31)};
          break;
        }
        case TPixelFormat::pf32bit: c = TRGB{in[4 * x], in[4 * x + 1], in[4 * x + 2]}; break;
        default: break;  // device-dependent and custom formats have no pixels we can read
      }
      out[0] = c.b;
      out[1] = c.g;
      out[2] = c.r;
    }
  }
}


}  // namespace velora

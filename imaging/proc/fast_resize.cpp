// The fast resizer (17-bit fixed-point blends when enlarging, shared-edge box averages when
// reducing), the coverage reduction of 1-bit images and the unfiltered stretch.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "resample_private.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELORA_X86 1
#endif

namespace velora {

using namespace resample_detail;

namespace {

inline bool Bit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Per destination index along one axis: the first source index, the 17-bit fraction for the
// blend and the last source index of the box (which reaches the first pixel of the next box).
struct TFastAxis {
  std::vector<int> first, last, fraction;
};

TFastAxis FastAxis(int srcLen, int dstLen, bool horizontal) {
  TFastAxis a;
  a.first.resize(size_t(dstLen));
  a.last.resize(size_t(dstLen));
  a.fraction.resize(size_t(dstLen));
  const double scale = double(dstLen) / double(srcLen);
  for (int i = 0; i < dstLen; ++i) {
    const double c = i / scale;
    const int x0 = std::min(int(c), srcLen - 1);
    a.first[size_t(i)] = x0;
    a.fraction[size_t(i)] = int((c - x0) * 131072);
    const double end = std::min(i + 1, dstLen - 1) / scale + (horizontal ? 1e-10 : 0);
    a.last[size_t(i)] = std::clamp(int(end), x0, srcLen - 1);
  }
  return a;
}

// a + ((b − a) × f) >> 17 with an arithmetic shift, wrapped to 8 bits.
inline uint8_t Blend(int a, int b, int f) { return uint8_t(a + (((b - a) * f) >> 17)); }

// Truncated average. The vector paths divide in float instead: a correctly rounded quotient of
// integers below 2^24 truncates to the exact integer quotient for boxes shorter than 65536
// pixels (a quotient that is not whole lies at least 1/n from the next integer); longer boxes
// divide in integers.
inline uint8_t Average(uint32_t sum, uint32_t n) { return uint8_t(sum / n); }

void BlendRow(const TFastAxis& ax, const uint8_t* src, int sw, int dw, int ch, uint8_t* out) {
  for (int i = 0; i < dw; ++i) {
    const int x0 = ax.first[size_t(i)], x1 = std::min(x0 + 1, sw - 1), f = ax.fraction[size_t(i)];
    for (int c = 0; c < ch; ++c) out[ch * i + c] = Blend(src[ch * x0 + c], src[ch * x1 + c], f);
  }
}

void BoxRowScalar(const TFastAxis& ax, const uint8_t* src, int dw, int ch, uint8_t* out) {
  for (int i = 0; i < dw; ++i) {
    const int x0 = ax.first[size_t(i)], x1 = ax.last[size_t(i)];
    for (int c = 0; c < ch; ++c) {
      uint32_t s = 0;
      for (int x = x0; x <= x1; ++x) s += src[ch * x + c];
      out[ch * i + c] = Average(s, uint32_t(x1 - x0 + 1));
    }
  }
}

#ifdef VELORA_X86
// Three channels: each source pixel widened to four 32-bit lanes (the fourth is ignored);
// The last pixel is read by its three bytes only.
__attribute__((target("avx2"))) void BoxRow3Avx2(const TFastAxis& ax, const uint8_t* src, int sw, int dw,
                                                 uint8_t* out) {
  for (int i = 0; i < dw; ++i) {
    const int x0 = ax.first[size_t(i)], x1 = ax.last[size_t(i)];
    const int n = x1 - x0 + 1;
    __m128i s = _mm_setzero_si128();
    const int e = std::min(x1, sw - 2);
    for (int x = x0; x <= e; ++x) {
      int32_t v;
      std::memcpy(&v, src + 3 * x, 4);
      s = _mm_add_epi32(s, _mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
    }
    if (x1 == sw - 1) {
      int32_t v = 0;
      std::memcpy(&v, src + 3 * x1, 3);
      s = _mm_add_epi32(s, _mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
    }
    alignas(16) int32_t q[4];
    if (n < 65536) {
      _mm_store_si128(reinterpret_cast<__m128i*>(q),
                      _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s), _mm_set1_ps(float(n)))));
    } else {
      _mm_store_si128(reinterpret_cast<__m128i*>(q), s);
      for (int c = 0; c < 3; ++c) q[c] = int32_t(uint32_t(q[c]) / uint32_t(n));
    }
    out[3 * i] = uint8_t(q[0]);
    out[3 * i + 1] = uint8_t(q[1]);
    out[3 * i + 2] = uint8_t(q[2]);
  }
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void BoxRow(const TFastAxis& ax, const uint8_t* src, int sw, int dw, int ch, uint8_t* out) {
#ifdef VELORA_X86
  if (ch == 3 && HasAvx2()) return BoxRow3Avx2(ax, src, sw, dw, out);
#endif
  BoxRowScalar(ax, src, dw, ch, out);
}

// Vertical average of rows y0..y1 over n bytes.
__attribute__((target_clones("avx2", "default"))) void AverageRows(const uint8_t* const* rows, int y0, int y1,
                                                                   int n, uint32_t* sums, uint8_t* out) {
  std::fill(sums, sums + n, 0u);
  for (int y = y0; y <= y1; ++y) {
    const uint8_t* p = rows[y];
    for (int x = 0; x < n; ++x) sums[x] += p[x];
  }
  const uint32_t count = uint32_t(y1 - y0 + 1);
  if (count < 65536) {
    // Float division, exact here: see Average.
    const float fc = float(count);
    for (int x = 0; x < n; ++x) out[x] = uint8_t(int32_t(float(int32_t(sums[x])) / fc));
  } else {
    for (int x = 0; x < n; ++x) out[x] = uint8_t(sums[x] / count);
  }
}

__attribute__((target_clones("avx2", "default"))) void BlendRows(const uint8_t* a, const uint8_t* b, int g, int n,
                                                                 uint8_t* out) {
  for (int x = 0; x < n; ++x) out[x] = uint8_t(a[x] + (((b[x] - a[x]) * g) >> 17));
}

struct TPlaneBuf {
  int width = 0, channels = 0;
  std::vector<uint8_t> bytes;
  std::vector<const uint8_t*> rows;
  void Allocate(int w, int h, int c) {
    width = w;
    channels = c;
    bytes.assign(size_t(int64_t(w) * c * h), 0);
    rows.resize(size_t(h));
    for (int y = 0; y < h; ++y) rows[size_t(y)] = bytes.data() + int64_t(y) * w * c;
  }
  uint8_t* Row(int y) { return bytes.data() + int64_t(y) * width * channels; }
};

// Both passes. blendBoth: blend along both axes whatever the scale (1-bit sources).
void FastTwoPass(int sw, int sh, int dw, int dh, int ch, const TRowReader& read, const TRowWriter& write,
                 const TVLProgressRecord* progress, bool blendBoth) {
  const double ax = double(dw) / sw, ay = double(dh) / sh;
  const TFastAxis hx = FastAxis(sw, dw, true), vy = FastAxis(sh, dh, false);
  const bool blendX = blendBoth || ax > 1, blendY = blendBoth || ay > 1;
  const double total = sh + dh + 0.5;
  const bool threads = WorthThreads(sw, sh, dw, dh);
  TPlaneBuf work;
  work.Allocate(dw, sh, ch);
  ParallelRows(
      sh, 16,
      [&](int y0, int y1) {
        std::vector<uint8_t> scratch(static_cast<size_t>(sw) * ch + 4);
        for (int y = y0; y < y1; ++y) {
          const uint8_t* src = read(y, scratch.data());
          if (blendX)
            BlendRow(hx, src, sw, dw, ch, work.Row(y));
          else
            BoxRow(hx, src, sw, dw, ch, work.Row(y));
        }
      },
      [&](int done) {
        if (progress) progress->Report(int((done - 1) * 100 / total));
      },
      threads);
  const int n = dw * ch;
  ParallelRows(
      dh, 16,
      [&](int r0, int r1) {
        std::vector<uint8_t> out(static_cast<size_t>(n));
        std::vector<uint32_t> sums(static_cast<size_t>(n));
        for (int r = r0; r < r1; ++r) {
          const int y0 = vy.first[size_t(r)];
          if (blendY)
            BlendRows(work.rows[size_t(y0)], work.rows[size_t(std::min(y0 + 1, sh - 1))], vy.fraction[size_t(r)], n,
                      out.data());
          else
            AverageRows(work.rows.data(), y0, vy.last[size_t(r)], n, sums.data(), out.data());
          write(r, out.data());
        }
      },
      [&](int done) {
        if (progress) progress->Report(int((sh + done - 1) * 100 / total));
      },
      threads);
}

TRowWriter Writer24(TBitmap& d) {
  const int w = d.Width();
  return [&d, w](int y, const uint8_t* row) { std::memcpy(d.ScanLine(y), row, size_t(w) * 3); };
}

// Coverage reduction over any row source: `row(y)` gives the 1-bit row y of the source.
template <typename TRowOf, typename TOut>
void Reduce1Bit(const TRowOf& rowOf, int srcW, int srcH, const TRect& rect, int W, int H, const TOut& put) {
  // The rectangle is clamped to the source so that no box reads outside it.
  const int x1 = std::max(rect.Left, 0), y1 = std::max(rect.Top, 0);
  const int x2 = std::min(rect.Right, srcW) - 1, y2 = std::min(rect.Bottom, srcH) - 1;
  if (x2 < x1 || y2 < y1 || W <= 0 || H <= 0) return;
  const double rx = double(x2 - x1 + 1) / W, ry = double(y2 - y1 + 1) / H;
  const int gw = int(rx), gh = int(ry);
  std::vector<int> cs(static_cast<size_t>(W)), ce(static_cast<size_t>(W));
  for (int l = 0; l < W; ++l) {
    const int a = int(l * rx), b = std::max(int(l * rx + gw - 1), a);
    cs[size_t(l)] = std::min(x1 + a, x2);
    ce[size_t(l)] = std::min(x1 + b, x2);
  }
  std::vector<uint32_t> count(static_cast<size_t>(W));
  for (int k = 0; k < H; ++k) {
    const int a = int(k * ry), b = std::max(int(k * ry + gh - 1), a);
    const int rs = std::min(y1 + a, y2), re = std::min(y1 + b, y2);
    std::fill(count.begin(), count.end(), 0u);
    for (int y = rs; y <= re; ++y) {
      const uint8_t* p = rowOf(y);
      for (int l = 0; l < W; ++l) {
        uint32_t c = 0;
        int x = cs[size_t(l)];
        const int e = ce[size_t(l)];
        for (; x <= e && (x & 7); ++x) c += Bit(p, x);
        for (; x + 7 <= e; x += 8) c += uint32_t(__builtin_popcount(p[x >> 3]));
        for (; x <= e; ++x) c += Bit(p, x);
        count[size_t(l)] += c;
      }
    }
    const int64_t rows = re - rs + 1;
    for (int l = 0; l < W; ++l) {
      const int64_t pixels = rows * (ce[size_t(l)] - cs[size_t(l)] + 1);
      put(k, l, uint8_t(255 * int64_t(count[size_t(l)]) / pixels));
    }
  }
}

}  // namespace

void FastResizeBitmap(const TBitmap& source, TBitmap& dest, const TVLProgressRecord* progress) {
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const TRowReader read = Reader24(source);
  if (!read) return;
  try {
    dest.SetPixelFormat(TPixelFormat::pf24bit);
    if (dw == sw && dh == sh) {
      std::vector<uint8_t> scratch(static_cast<size_t>(sw) * 3 + 4);
      for (int y = 0; y < sh; ++y) std::memmove(dest.ScanLine(y), read(y, scratch.data()), size_t(sw) * 3);
      return;
    }
    FastTwoPass(sw, sh, dw, dh, 3, read, Writer24(dest), progress, false);
  } catch (const std::bad_alloc&) {
  }
}

void FastResizeBitmap1Bit(const TBitmap& source, TBitmap& dest) {
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (source.BitCount() != 1 || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const double ax = double(dw) / sw, ay = double(dh) / sh;
  if (ax < 1 && ay < 1) return ReduceBitmap1Bit(source, TRect{0, 0, sw, sh}, dest);
  try {
    dest.SetPixelFormat(TPixelFormat::pf24bit);
    const TRowReader read = ReaderBits(source);
    const TRowWriter write = WriterGreyTo24(dest);
    if (dw == sw && dh == sh) {
      // Same size: the pixels as they are, in the grey form every other path produces.
      std::vector<uint8_t> row(static_cast<size_t>(sw) + 4);
      for (int y = 0; y < sh; ++y) write(y, read(y, row.data()));
      return;
    }
    FastTwoPass(sw, sh, dw, dh, 1, read, write, nullptr, true);
  } catch (const std::bad_alloc&) {
  }
}

void FastResizeMask(const TVLMask& source, TVLMask& dest) {
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (source.BitsPerPixel() != 8 || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  try {
    if (dest.BitsPerPixel() != 8) dest.Allocate(dw, dh, 8);
    auto read = [&source](int y, uint8_t*) { return source.ScanLine(y); };
    auto write = [&dest, dw](int y, const uint8_t* row) { std::memcpy(dest.ScanLine(y), row, size_t(dw)); };
    if (dw == sw && dh == sh) {
      for (int y = 0; y < sh; ++y) write(y, source.ScanLine(y));
    } else {
      FastTwoPass(sw, sh, dw, dh, 1, read, write, nullptr, false);
    }
    dest.UpdateBoxFromPixels();
  } catch (const std::bad_alloc&) {
  }
}

void ReduceBitmap1Bit(const TBitmap& source, const TRect& rect, TBitmap& dest) {
  if (source.Empty() || dest.Empty() || source.BitCount() != 1) return;
  dest.SetPixelFormat(TPixelFormat::pf24bit);
  Reduce1Bit([&source](int y) { return source.ScanLine(y); }, source.Width(), source.Height(), rect, dest.Width(),
             dest.Height(), [&dest](int k, int l, uint8_t v) {
               uint8_t* p = dest.ScanLine(k) + 3 * int64_t(l);
               p[0] = p[1] = p[2] = v;
             });
}

std::unique_ptr<uint8_t[]> ReduceBits1Bit(const uint8_t* bits, int width, int height, const TRect& rect, int W,
                                          int H) {
  if (W <= 0 || H <= 0 || !bits || width <= 0 || height <= 0) return nullptr;
  const int64_t srcRow = RowSize(width, 1), dstRow = RowSize(W, 24);
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[size_t(dstRow * H)]());
  if (!out) return nullptr;
  uint8_t* o = out.get();
  Reduce1Bit([=](int y) { return bits + int64_t(height - 1 - y) * srcRow; }, width, height, rect, W, H,
             [=](int k, int l, uint8_t v) {
               uint8_t* p = o + int64_t(H - 1 - k) * dstRow + 3 * int64_t(l);
               p[0] = p[1] = p[2] = v;
             });
  return out;
}

void StretchBitmap(const TBitmap& source, TBitmap& dest) {
  const int bpp = source.BitCount();
  if (source.Empty() || dest.Empty() || (bpp != 24 && bpp != 1)) return;
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  dest.SetPixelFormat(source.PixelFormat());
  if (bpp == 1) dest.SetPalette(source.Palette(), source.PaletteCount());
  std::vector<int> col(static_cast<size_t>(dw));
  for (int x = 0; x < dw; ++x) col[size_t(x)] = int(int64_t(x) * sw / dw);
  for (int y = 0; y < dh; ++y) {
    const uint8_t* s = source.ScanLine(int(int64_t(y) * sh / dh));
    uint8_t* d = dest.ScanLine(y);
    if (bpp == 24) {
      for (int x = 0; x < dw; ++x) std::memcpy(d + 3 * x, s + 3 * col[size_t(x)], 3);
    } else {
      std::memset(d, 0, size_t(dest.RowLen()));
      for (int x = 0; x < dw; ++x)
        if (Bit(s, col[size_t(x)])) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
}

}  // namespace velora

#include "rotate.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "parallel_rows.h"
#include "proc_area.h"

namespace velora {

using namespace proc_detail;

bool VLReduceAngle(double angle, double& reduced) {
  const double thousandths = std::trunc(angle * 1000);
  if (!std::isfinite(thousandths)) return false;
  // fmod is exact: no integer conversion, so no overflow for any finite angle.
  reduced = std::fmod(thousandths, 360000.0) / 1000;
  return true;
}

namespace {

int RoundHalfEven(double v) { return int(std::nearbyint(v)); }

// (left × g + c × (4096 − g) + 2048) >> 12: g = 0 copies c exactly; a weight past 4096 (when k
// rounds up, g is negative) can overshoot, hence the clamp. The shift is arithmetic.
inline uint8_t Blend(int left, int c, int g) { return uint8_t(Clamp255((left * g + c * (4096 - g) + 2048) >> 12)); }

// The background over pixels [from, to) of a row.
void FillRow(uint8_t* row, int from, int to, const uint8_t bg[3]) {
  for (uint8_t* p = row + 3 * size_t(from); p < row + 3 * size_t(to); p += 3) p[0] = bg[0], p[1] = bg[1], p[2] = bg[2];
}

// Writes `count` pixels of `src` into `dst` (of `dstWidth` pixels) starting at column `offset`,
// blended with weight g against the pixel before each (the background before the first), and
// the blend of the last one with the background just after them when g > 0. Pixels that land
// outside the row are dropped; the rest of the row is the caller's.
void ShearRow(const uint8_t* src, int count, uint8_t* dst, int dstWidth, int offset, int g, bool antialias,
              const uint8_t bg[3]) {
  const int first = std::max(0, -offset), end = std::min(count, dstWidth - offset);
  if (first >= end) return;
  uint8_t* out = dst + 3 * ptrdiff_t(offset);
  if (!antialias) {
    std::memcpy(out + 3 * size_t(first), src + 3 * size_t(first), 3 * size_t(end - first));
    return;
  }
  int j = first;
  if (j == 0) {
    for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(bg[ch], src[ch], g);
    j = 1;
  }
  // Byte by byte against the same channel one pixel back: a plain loop the compiler widens.
  for (size_t b = 3 * size_t(j); b < 3 * size_t(end); ++b) out[b] = Blend(src[b - 3], src[b], g);
  const int tail = offset + count;
  if (g > 0 && tail >= 0 && tail < dstWidth) {
    const uint8_t* last = src + 3 * size_t(count - 1);
    for (int ch = 0; ch < 3; ++ch) dst[3 * size_t(tail) + ch] = Blend(last[ch], bg[ch], g);
  }
}

// Row y of shear 2: column c of the first shear's plane (h rows) moved down by offset[c] and
// blended with the pixel above it by weight[c], the background beyond the column.
void ShearColumnsRow(const uint8_t* first, size_t stride, int h, int y, const std::vector<int>& offset,
                     const std::vector<int>& weight, bool antialias, const uint8_t bg[3], uint8_t* out) {
  for (size_t c = 0; c < offset.size(); ++c, out += 3) {
    const int j = y - offset[c], g = weight[c];
    if (j < 0 || j > h || (j == h && (!antialias || g <= 0))) {
      std::memcpy(out, bg, 3);
      continue;
    }
    const uint8_t* above = j > 0 ? first + stride * size_t(j - 1) + 3 * c : bg;
    if (j == h) {  // just below the column: its tail
      for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(above[ch], bg[ch], g);
      continue;
    }
    const uint8_t* px = first + stride * size_t(j) + 3 * c;
    if (antialias)
      for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(above[ch], px[ch], g);
    else
      std::memcpy(out, px, 3);
  }
}

// A shear's offset and blending weight for a line moved by k pixels: the whole part rounded
// half to even, the rest in 1/4096.
struct TShift {
  int n, g;
  explicit TShift(double k) : n(RoundHalfEven(k)), g(RoundHalfEven((k - n) * 4096)) {}
};

struct TShearProgress {
  const TVLProgressRecord* progress;
  double total;
  void Done(double steps) const { ReportPercent(progress, steps * 100 / total); }
};

}  // namespace

bool VLShearRotate(const TBitmap& source, TBitmap& dest, double degrees, bool antialias, TRGB background,
                   const TVLProgressRecord* progress) {
  if (!Takes24(source)) return false;
  const int w = source.Width(), h = source.Height();
  const double theta = degrees * M_PI / 180;
  const bool ccw = theta > 0;
  const double t = std::fabs(std::tan(theta / 2)), s = std::fabs(std::sin(theta));
  const int W1 = RoundHalfEven(h * t + w + 1);
  const int D1 = RoundHalfEven((W1 - w) * s);
  const int H2 = RoundHalfEven(s * W1 + h + 1);
  const int D3 = RoundHalfEven(t * (H2 - h - D1));
  const int H = H2 - 2 * D1;
  const int W = RoundHalfEven(t * H + W1 + 1 - 2 * D3);
  const uint8_t bg[3] = {background.b, background.g, background.r};
  const TShearProgress report{progress, double(h) + W1 + H};
  const size_t firstStride = size_t(W1) * 3;

  // Bands of rows on the machine's cores; progress as the calling thread's bands finish.
  const bool threads = WorthThreads(int64_t(W) * H);
  const auto inBands = [&](int rows, double before, double share, const std::function<void(int, int)>& band) {
    ParallelRows(rows, 32, band, [&](int done) { report.Done(before + done * share / rows); }, threads);
  };

  // Shear 1: rows to the right. Every row is filled whole, so the plane needs no clearing.
  std::unique_ptr<uint8_t[]> first = std::make_unique_for_overwrite<uint8_t[]>(firstStride * size_t(h));
  inBands(h, 0, h, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      uint8_t* row = first.get() + firstStride * size_t(r);
      FillRow(row, 0, W1, bg);
      // The first shear cuts its weight where the other two round it.
      const double k = (ccw ? r : h - r) * t;
      const int n = RoundHalfEven(k);
      ShearRow(source.ScanLine(r), w, row, W1, n, int((k - n) * 4096), antialias, bg);
    }
  });

  // Shear 2, columns downwards, one row at a time, each row sheared along (shear 3) into the
  // result at once. Column c of shear 2 is column c of shear 1 moved down by offset[c].
  std::vector<int> offset(static_cast<size_t>(W1)), weight(static_cast<size_t>(W1));
  for (int c = 0; c < W1; ++c) {
    const TShift shift((ccw ? W1 - c : c) * s);
    offset[size_t(c)] = shift.n - D1;
    weight[size_t(c)] = shift.g;
  }
  TBitmap result(W, H, TPixelFormat::pf24bit);
  // One row of shear 2 per thread at a time: the largest intermediate is never made whole.
  inBands(H, h, W1 + H, [&](int y0, int y1) {
    std::vector<uint8_t> across(firstStride);
    for (int y = y0; y < y1; ++y) {
      ShearColumnsRow(first.get(), firstStride, h, y, offset, weight, antialias, bg, across.data());
      uint8_t* row = result.ScanLine(y);
      FillRow(row, 0, W, bg);
      const TShift shift((ccw ? y : H - y) * t);
      ShearRow(across.data(), W1, row, W, shift.n - D3, shift.g, antialias, bg);
    }
  });
  dest.SwapPixels(result);
  return true;
}

bool VLRotateBits1Bit(const TBitmap& source, TBitmap& dest, double degrees, bool fillBit,
                      const TVLProgressRecord* progress) {
  if (source.PixelFormat() != TPixelFormat::pf1bit || source.Empty()) return false;
  const int w = source.Width(), h = source.Height();
  const double a = degrees * M_PI / 180;
  const double c = std::trunc(std::cos(a) * 10000) / 10000, s = std::trunc(std::sin(-a) * 10000) / 10000;
  // Cut to four decimals, cos of a tiny angle is 0.9999 and trunc(1 × 0.9999) would make an
  // empty image of a 1 × 1 one.
  const int W = std::max(1, int(std::fabs(w * c) + std::fabs(h * s)));
  const int H = std::max(1, int(std::fabs(s * w) + std::fabs(c * h)));
  TBitmap result(W, H, TPixelFormat::pf1bit);
  result.SetPalette(source.Palette(), source.PaletteCount());
  const double scx = w / 2.0 - 0.5, scy = h / 2.0 - 0.5, dcx = W / 2.0 - 0.5, dcy = H / 2.0 - 0.5;
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* out = result.ScanLine(Y);
    const double dy = Y - dcy;
    for (int X = 0; X < W; ++X) {
      const double dx = X - dcx;
      const double fx = std::trunc(scx + c * dx + s * dy), fy = std::trunc(scy - s * dx + c * dy);
      bool bit = fillBit;
      if (fx >= 0 && fx < w && fy >= 0 && fy < h) {
        const int x = int(fx);
        bit = (source.ScanLine(int(fy))[x >> 3] >> (7 - (x & 7))) & 1;
      }
      if (bit) out[X >> 3] |= uint8_t(0x80 >> (X & 7));
    }
    ReportPercent(progress, Y * 100.0 / H);
  }
  dest.SwapPixels(result);
  return true;
}

}  // namespace velora

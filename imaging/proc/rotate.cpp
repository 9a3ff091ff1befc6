#include "rotate.h"

#include <cmath>
#include <cstring>
#include <vector>

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

// A plain 24-bit pixel plane, rows from the top.
struct TPlane {
  int width = 0, height = 0;
  std::vector<uint8_t> bytes;
  TPlane(int w, int h, TRGB fill) : width(w), height(h), bytes(size_t(w) * size_t(h) * 3) {
    for (size_t i = 0; i < bytes.size(); i += 3) bytes[i] = fill.b, bytes[i + 1] = fill.g, bytes[i + 2] = fill.r;
  }
  uint8_t* Row(int y) { return bytes.data() + size_t(y) * size_t(width) * 3; }
  const uint8_t* Row(int y) const { return bytes.data() + size_t(y) * size_t(width) * 3; }
};

// Writes `count` pixels of `src` into `dst` (of `dstWidth` pixels) starting at column `offset`,
// blended with weight g against the pixel before each (the background before the first), and
// the blend of the last one with the background just after them when g > 0. Pixels that land
// outside the row are dropped.
void ShearRow(const uint8_t* src, int count, uint8_t* dst, int dstWidth, int offset, int g, bool antialias,
              const uint8_t bg[3]) {
  const int first = std::max(0, -offset), end = std::min(count, dstWidth - offset);
  if (!antialias) {
    if (first < end) std::memcpy(dst + 3 * size_t(offset + first), src + 3 * size_t(first), 3 * size_t(end - first));
    return;
  }
  for (int j = first; j < end; ++j) {
    const uint8_t* left = j > 0 ? src + 3 * size_t(j - 1) : bg;
    const uint8_t* c = src + 3 * size_t(j);
    uint8_t* out = dst + 3 * size_t(offset + j);
    out[0] = Blend(left[0], c[0], g), out[1] = Blend(left[1], c[1], g), out[2] = Blend(left[2], c[2], g);
  }
  const int tail = offset + count;
  if (g > 0 && count > 0 && tail >= 0 && tail < dstWidth) {
    const uint8_t* last = src + 3 * size_t(count - 1);
    uint8_t* out = dst + 3 * size_t(tail);
    for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(last[ch], bg[ch], g);
  }
}

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

  // Shear 1: rows to the right.
  TPlane first(W1, h, background);
  for (int r = 0; r < h; ++r) {
    const double k = (ccw ? r : h - r) * t;
    const int n = RoundHalfEven(k);
    ShearRow(source.ScanLine(r), w, first.Row(r), W1, n, int((k - n) * 4096), antialias, bg);
    report.Done(r + 1);
  }

  // Shear 2: columns downwards, made row by row so that every read and write runs along rows.
  // Column c of the result is column c of the first shear moved down by offset[c].
  TPlane second(W1, H, background);
  std::vector<int> offset(static_cast<size_t>(W1)), weight(static_cast<size_t>(W1));
  for (int c = 0; c < W1; ++c) {
    const double k = (ccw ? W1 - c : c) * s;
    const int n = RoundHalfEven(k);
    offset[size_t(c)] = n - D1;
    weight[size_t(c)] = RoundHalfEven((k - n) * 4096);
  }
  for (int y = 0; y < H; ++y) {
    uint8_t* out = second.Row(y);
    for (int c = 0; c < W1; ++c, out += 3) {
      const int j = y - offset[size_t(c)], g = weight[size_t(c)];
      if (j < 0 || j > h) continue;
      const uint8_t* above = j > 0 ? first.Row(j - 1) + 3 * size_t(c) : bg;
      if (j == h) {  // just below the column: its tail
        if (antialias && g > 0)
          for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(above[ch], bg[ch], g);
        continue;
      }
      const uint8_t* px = first.Row(j) + 3 * size_t(c);
      if (antialias)
        for (int ch = 0; ch < 3; ++ch) out[ch] = Blend(above[ch], px[ch], g);
      else
        std::memcpy(out, px, 3);
    }
    report.Done(h + double(y + 1) * W1 / H);
  }

  // Shear 3: rows again, into the result.
  TBitmap result(W, H, TPixelFormat::pf24bit);
  for (int r = 0; r < H; ++r) {
    uint8_t* row = result.ScanLine(r);
    for (int x = 0; x < W; ++x) std::memcpy(row + 3 * size_t(x), bg, 3);
    const double k = (ccw ? r : H - r) * t;
    const int n = RoundHalfEven(k);
    ShearRow(second.Row(r), W1, row, W, n - D3, RoundHalfEven((k - n) * 4096), antialias, bg);
    report.Done(h + W1 + r + 1);
  }
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

// The distortion effects: bump map, lens and wave.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "color_adjust.h"
#include "filters.h"
#include "proc_area.h"

namespace velora {

using namespace proc_detail;

namespace {

// Doubles are limited before they become integers: a far-off source position (tan near π/2,
// a huge amplitude) would not fit in an int.
int TruncLimited(double v, int lo, int hi) {
  if (!(v >= lo)) return lo;  // NaN too
  if (v >= hi) return hi;
  return int(v);
}

// ---- bump map

// entry[u][v] = min(255, trunc(l × 256)), l = 1 − |(u − 128, v − 128)| / 128, 0 when negative.
std::vector<uint8_t> LightTable() {
  std::vector<uint8_t> table(256 * 256);
  for (int u = 0; u < 256; ++u)
    for (int v = 0; v < 256; ++v) {
      const double nx = (u - 128) / 128.0, ny = (v - 128) / 128.0;
      const double l = std::max(1 - std::sqrt(nx * nx + ny * ny), 0.0);
      table[size_t(u) * 256 + size_t(v)] = uint8_t(std::min(255, int(l * 256)));
    }
  return table;
}

// Grey values of the area's columns for rows from max(y0 − 1, 0): the gradient of the first
// row looks one row above the area, so that row's real grey is held too.
struct TGreyPlane {
  int x0, top, width;
  std::vector<uint8_t> grey;
  TGreyPlane(const TBitmap& bitmap, const TVLArea& a)
      : x0(a.x0), top(std::max(a.y0 - 1, 0)), width(a.Width()), grey(size_t(a.Width()) * size_t(a.y1 - top)) {
    for (int y = top; y < a.y1; ++y) {
      const uint8_t* p = bitmap.ScanLine(y) + 3 * size_t(a.x0);
      uint8_t* g = &grey[size_t(y - top) * size_t(width)];
      for (int x = 0; x < width; ++x, p += 3) g[x] = uint8_t(GrayOf(p[2], p[1], p[0]));
    }
  }
  int At(int x, int y) const { return grey[size_t(y - top) * size_t(width) + size_t(x - x0)]; }
};

}  // namespace

void BumpMap(TBitmap& bitmap, int cx, int cy, int lightWidth, int lightHeight, TRGB colour, int share, int x0,
             int y0, int x1, int y1, const TVLProgressRecord* progress) {
  if (lightWidth == 0 || lightHeight == 0 || !Takes24(bitmap)) return;
  const TVLArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  const std::vector<uint8_t> light = LightTable();
  const TGreyPlane grey(bitmap, a);
  // The light's offset per column and per row: trunc((x − cx) / lw × 128), in doubles: the
  // centre and the share may be any integers, and x − cx or 100 − share could overflow an int.
  std::vector<int> columnOffset(size_t(a.Width()));
  for (int x = a.x0; x < a.x1; ++x)
    columnOffset[size_t(x - a.x0)] = TruncLimited((double(x) - cx) / lightWidth * 128, -1024, 1024);
  const double unlit = share / 100.0, lit = (100.0 - share) / 100.0;
  const double colourWeight[3] = {colour.b / 255.0, colour.g / 255.0, colour.r / 255.0};
  for (int y = a.y0; y < a.y1; ++y) {
    const int rowOffset = TruncLimited((double(y) - cy) / lightHeight * 128, -1024, 1024);
    const int above = std::max(y - 1, 0), below = std::min(y + 1, a.y1 - 1);
    uint8_t* p = bitmap.ScanLine(y) + 3 * size_t(a.x0);
    for (int x = a.x0; x < a.x1; ++x, p += 3) {
      const int gx = grey.At(std::min(x + 1, a.x1 - 1), y) - grey.At(std::max(x - 1, a.x0), y);
      const int gy = grey.At(x, below) - grey.At(x, above);
      const int u = Clamp255(gx - columnOffset[size_t(x - a.x0)] + 128);
      const int v = Clamp255(gy - rowOffset + 128);
      const double l = light[size_t(u) * 256 + size_t(v)] * lit;
      // Limited before it becomes an integer: a share far outside 0..100 leaves the int range.
      for (int c = 0; c < 3; ++c)
        p[c] = uint8_t(std::clamp(std::nearbyint(p[c] * unlit + l * colourWeight[c]), 0.0, 255.0));
    }
    ReportRowDone(progress, a, y);
  }
}

// ---- lens

namespace {

// The refracted offset of a point at distance d from the lens axis under a surface of height z:
// d − z × tan(θ − φ), θ the angle of incidence, φ = arcsin(sin θ / n).
double Refracted(double d, double z, double n) {
  const double theta = M_PI / 2 - std::acos(d / std::sqrt(d * d + z * z));
  const double phi = std::asin(std::sin(theta) / n);
  return d - z * std::tan(theta - phi);
}

}  // namespace

void Lens(TBitmap& bitmap, int cx, int cy, int width, int height, double refraction,
          const TVLProgressRecord* progress) {
  if (!Takes24(bitmap)) return;
  const int iw = bitmap.Width(), ih = bitmap.Height();
  auto limit = [](int64_t v, int hi) { return int(std::clamp<int64_t>(v, 0, hi)); };
  const int left = limit(int64_t(cx) - width / 2, iw - 1), right = limit(int64_t(cx) + width / 2, iw - 1);
  const int top = limit(int64_t(cy) - height / 2, ih - 1), bottom = limit(int64_t(cy) + height / 2, ih - 1);
  const int W = right - left, H = bottom - top;
  // A lens outside the image, of a negative size or on a one-pixel image leaves nothing to do.
  if (W < 1 || H < 1) return;
  const double a = W / 2.0, b = H / 2.0, R = std::min(a, b), n = std::max(refraction, 1.0);
  std::vector<uint8_t> result(size_t(W) * size_t(H) * 3);
  for (int u = 0; u < W; ++u) {
    const double x = u - a + 0.5;
    for (int i = 0; i < H; ++i) {
      const double y = b - i - 0.5;
      const double e = x * x / (a * a) + y * y / (b * b);
      int sx = left + u, sy = top + i;
      if (e < 1) {
        const double z = R * std::sqrt(1 - e);
        sx = left + TruncLimited(a + Refracted(x, z, n), -left, iw - 1 - left);
        sy = top + TruncLimited(b - Refracted(y, z, n), -top, ih - 1 - top);
      }
      std::memcpy(&result[(size_t(i) * size_t(W) + size_t(u)) * 3], bitmap.ScanLine(sy) + 3 * size_t(sx), 3);
    }
    ReportPercent(progress, (u + 1) * 100.0 / (W - 0.5));
  }
  for (int i = 0; i < H; ++i)
    std::memcpy(bitmap.ScanLine(top + i) + 3 * size_t(left), &result[size_t(i) * size_t(W) * 3], size_t(W) * 3);
}

// ---- wave

void Wave(TBitmap& bitmap, int amplitude, int length, int phase, bool reflective,
          const TVLProgressRecord* progress) {
  if (!Takes24(bitmap) || amplitude == 0 || length == 0) return;
  const int w = bitmap.Width(), h = bitmap.Height();
  TBitmap source;
  source.Assign(bitmap);
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  const double sx = h > w ? double(h) / w : 1, sy = w > h ? double(w) / h : 1;
  const double k = 2 * M_PI / (2.0 * length), p = phase * M_PI / 180;
  const uint8_t zero[3] = {0, 0, 0};
  // P(i, j) with rows counted from the bottom; outside the image 0.
  auto pixel = [&](int i, int j) -> const uint8_t* {
    if (i >= w || j >= h) return zero;
    return source.ScanLine(h - 1 - j) + 3 * size_t(i);
  };
  // Splits a source coordinate into the limited cell 0..size − 2 and the fraction within it.
  auto split = [](double v, int size, int& cell, double& frac) {
    const double t = std::trunc(v);
    frac = v - t;
    if (frac < 0) frac += 1;
    cell = TruncLimited(t, 0, std::max(size - 2, 0));
  };
  for (int y = 0; y < h; ++y) {
    uint8_t* out = bitmap.ScanLine(h - 1 - y);
    const double dy = (y - cy) * sy;
    for (int x = 0; x < w; ++x, out += 3) {
      const double dx = (x - cx) * sx;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double wv = std::sin(r * k + p);
      double srcX, srcY;
      if (reflective) {
        const double s = std::fabs(wv) * amplitude;
        srcX = cx + dx * s / sx;
        srcY = cy + dy * s / sy;
      } else {
        const double d = wv * amplitude;
        srcX = (d + dx) / sx + cx;
        srcY = (d + dy) / sy + cy;
      }
      int i, j;
      double fx, fy;
      split(srcX, w, i, fx);
      split(srcY, h, j, fy);
      const uint8_t *p00 = pixel(i, j), *p10 = pixel(i + 1, j), *p01 = pixel(i, j + 1), *p11 = pixel(i + 1, j + 1);
      for (int c = 0; c < 3; ++c)
        out[c] = uint8_t((1 - fy) * ((1 - fx) * p00[c] + fx * p10[c]) + fy * ((1 - fx) * p01[c] + fx * p11[c]));
    }
    ReportPercent(progress, y * 100.0 / h);
  }
}

}  // namespace velora

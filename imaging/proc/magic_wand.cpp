#include "magic_wand.h"

#include <algorithm>
#include <cstdlib>

namespace velora {

TVLRegion MagicWandRegion(const TBitmap& bitmap, int seedX, int seedY, int tolerance, bool connected, bool dilate) {
  TVLRegion region;
  const int w = bitmap.Width(), h = bitmap.Height();
  if (bitmap.BitCount() != 24 || seedX < 0 || seedY < 0 || seedX >= w || seedY >= h) return region;
  region.Width = w;
  region.Height = h;
  region.Inside.assign(size_t(w) * size_t(h), 0);
  auto at = [&](int x, int y) -> uint8_t& { return region.Inside[size_t(y) * size_t(w) + size_t(x)]; };
  const uint8_t* ref = bitmap.ScanLine(seedY) + 3 * seedX;
  const uint8_t rb = ref[0], rg = ref[1], rr = ref[2];
  auto similar = [&](int x, int y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return std::abs(p[0] - rb) <= tolerance && std::abs(p[1] - rg) <= tolerance && std::abs(p[2] - rr) <= tolerance;
  };
  if (!connected) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (similar(x, y)) at(x, y) = 1;
  } else {
    // 4-connected flood fill with an explicit stack: no recursion depth to run out of.
    std::vector<TPoint> stack{TPoint{seedX, seedY}};
    at(seedX, seedY) = 1;
    while (!stack.empty()) {
      const TPoint p = stack.back();
      stack.pop_back();
      const TPoint next[4] = {{p.X - 1, p.Y}, {p.X + 1, p.Y}, {p.X, p.Y - 1}, {p.X, p.Y + 1}};
      for (const TPoint& q : next) {
        if (q.X < 0 || q.Y < 0 || q.X >= w || q.Y >= h || at(q.X, q.Y) || !similar(q.X, q.Y)) continue;
        at(q.X, q.Y) = 1;
        stack.push_back(q);
      }
    }
  }
  if (dilate) {
    std::vector<uint8_t> grown(region.Inside.size(), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (at(x, y))
          for (int qy = std::max(y - 1, 0); qy <= std::min(y + 1, h - 1); ++qy)
            for (int qx = std::max(x - 1, 0); qx <= std::min(x + 1, w - 1); ++qx) grown[size_t(qy) * w + qx] = 1;
    region.Inside.swap(grown);
  }
  return region;
}

std::vector<TPoint> TraceRegionOutline(const TVLRegion& region) {
  std::vector<TPoint> corners;
  const auto first = std::find(region.Inside.begin(), region.Inside.end(), uint8_t(1));
  if (first == region.Inside.end()) return corners;
  const size_t index = size_t(first - region.Inside.begin());
  const int x0 = int(index % size_t(region.Width)), y0 = int(index / size_t(region.Width));
  static const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};  // east, south, west, north
  int x = x0, y = y0, d = 0;
  corners.push_back({x, y});
  // The border has at most four edges per pixel corner: the bound only guards the loop.
  for (int64_t guard = 4 * int64_t(region.Width + 1) * (region.Height + 1); guard > 0; --guard) {
    int lx, ly, rx, ry;  // the pixels ahead on the left and on the right
    switch (d) {
      case 0: lx = x, ly = y - 1, rx = x, ry = y; break;
      case 1: lx = x, ly = y, rx = x - 1, ry = y; break;
      case 2: lx = x - 1, ly = y, rx = x - 1, ry = y - 1; break;
      default: lx = x - 1, ly = y - 1, rx = x, ry = y - 1; break;
    }
    int nd = d;
    if (!region.Contains(rx, ry))
      nd = (d + 1) & 3;  // the border turns right
    else if (region.Contains(lx, ly))
      nd = (d + 3) & 3;  // it turns left
    if (nd != d && !(x == x0 && y == y0)) corners.push_back({x, y});
    d = nd;
    x += dx[d], y += dy[d];
    if (x == x0 && y == y0) break;
  }
  return corners;
}

}  // namespace velora

#include "vl_mask.h"

#include <utility>

#include <algorithm>

namespace velora {

void TVLMask::Allocate(int width, int height, int bitsPerPixel) {
  Free();
  Width_ = std::max(width, 0);
  Height_ = std::max(height, 0);
  BitsPerPixel_ = bitsPerPixel;
  if (bitsPerPixel == 1)
    RowLen_ = int(RowSize(Width_, 1));
  else if (bitsPerPixel == 8)
    RowLen_ = Width_;
  if (bitsPerPixel == 1 || bitsPerPixel == 8) Bits_.assign(size_t(int64_t(RowLen_) * Height_), 0);
  SetEmptyBox();
  Full_ = false;
}

void TVLMask::Free() {
  Bits_.clear();
  Bits_.shrink_to_fit();
  Width_ = Height_ = BitsPerPixel_ = RowLen_ = 0;
}

void TVLMask::Assign(const TVLMask* source) {
  if (!source) return;
  Allocate(source->Width_, source->Height_, source->BitsPerPixel_);
  Bits_ = source->Bits_;
  X1 = source->X1;
  Y1 = source->Y1;
  X2 = source->X2;
  Y2 = source->Y2;
  Full_ = source->Full_;
}

void TVLMask::UpdateFull(int value) {
  if (Full_ && BitsPerPixel_ == 8 && value != 255) Full_ = false;
}

void TVLMask::SetPixel(int x, int y, int value) {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_ || Bits_.empty()) return;
  if (value != 0) {
    X1 = std::min(X1, x);
    Y1 = std::min(Y1, y);
    X2 = std::max(X2, x);
    Y2 = std::max(Y2, y);
  }
  UpdateFull(value);
  uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) {
    uint8_t bit = uint8_t(0x80 >> (x & 7));
    if (value != 0)
      row[x >> 3] |= bit;
    else
      row[x >> 3] &= uint8_t(~bit);
  } else {
    row[x] = uint8_t(value);
  }
}

int TVLMask::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_ || Bits_.empty()) return 0;
  const uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return row[x];
}

int TVLMask::FillRow(int value, int x1, int y, int x2) {
  if (Bits_.empty()) return 0;
  x1 = std::max(x1, 0);
  x2 = std::min(x2, Width_ - 1);
  y = std::clamp(y, 0, Height_ - 1);
  if (x2 < x1) return 0;
  UpdateFull(value);
  uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) {
    for (int x = x1; x <= x2; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  } else {
    std::fill(row + x1, row + x2 + 1, uint8_t(value));
  }
  return x2 - x1 + 1;
}

void TVLMask::SwapPlane(TVLMask& other) noexcept {
  std::swap(Width_, other.Width_);
  std::swap(Height_, other.Height_);
  std::swap(BitsPerPixel_, other.BitsPerPixel_);
  std::swap(RowLen_, other.RowLen_);
  std::swap(Full_, other.Full_);
  std::swap(Bits_, other.Bits_);
  std::swap(X1, other.X1);
  std::swap(Y1, other.Y1);
  std::swap(X2, other.X2);
  std::swap(Y2, other.Y2);
}

void TVLMask::Fill(int value) {
  std::fill(Bits_.begin(), Bits_.end(), uint8_t(value));
  Full_ = !(BitsPerPixel_ == 8 && value != 255);
}

void TVLMask::UpdateBoxFromPixels() {
  SetEmptyBox();
  bool full = Width_ > 0 && Height_ > 0;
  for (int y = 0; y < Height_; ++y) {
    const uint8_t* row = ScanLine(y);
    for (int x = 0; x < Width_; ++x) {
      const int v = BitsPerPixel_ == 8 ? row[x] : (row[x >> 3] >> (7 - (x & 7))) & 1;
      if (v != 255) full = false;
      if (v != 0) X1 = std::min(X1, x), X2 = std::max(X2, x), Y1 = std::min(Y1, y), Y2 = std::max(Y2, y);
    }
  }
  Full_ = full && BitsPerPixel_ == 8;
}

void TVLMask::Empty() {
  Fill(0);
  SetEmptyBox();
}


// ---- polygons -------------------------------------------------------------------------------

namespace {

struct TPolyEdge {
  int64_t x;
  int64_t ymax;
  int64_t dx, dy;
  int64_t err;
};

// Integer edge walk: the quotient steps x each line, the error term carries the remainder.
void AdvanceEdge(TPolyEdge& e) {
  int64_t q = e.dx / e.dy;
  e.err += 2 * e.dx - 2 * q * e.dy;
  e.x += q;
  if (e.err > e.dy || e.err < -e.dy) {
    if (e.dx <= 0) {
      e.err += 2 * e.dy;
      e.x -= 1;
    } else {
      e.err -= 2 * e.dy;
      e.x += 1;
    }
  }
}

// Among edges starting at the same x the one that leans further left goes first.
void InsertActive(std::vector<TPolyEdge>& active, const TPolyEdge& e) {
  size_t k = 0;
  while (k < active.size()) {
    const TPolyEdge& a = active[k];
    if (a.x > e.x) break;
    if (a.x == e.x && e.dx * a.dy <= a.dx * e.dy) break;
    ++k;
  }
  active.insert(active.begin() + std::ptrdiff_t(k), e);
}

}  // namespace

void TVLMask::FillPolygons(int value, const TPoint* points, int count) {
  Empty();
  int start = 0;
  for (int i = 0; i <= count; ++i) {
    if (i == count || points[i].X == kPolygonSeparator) {
      if (i > start) FillPolygon(value, points + start, i - start);
      start = i + 1;
    }
  }
}

void TVLMask::FillPolygon(int value, const TPoint* points, int count) {
  if (Bits_.empty() || !points || count < 2) return;
  // A polygon that writes nothing leaves the box as it was (not emptied): the box must keep
  // covering what earlier polygons set.
  const int32_t oldX1 = X1, oldY1 = Y1, oldX2 = X2, oldY2 = Y2;
  // A 1-bit fill sets its bits whatever the value, so its box grows whatever the value too.
  if (value != 0 || BitsPerPixel_ == 1) {
    for (int i = 0; i < count; ++i) {
      X1 = std::min(X1, points[i].X);
      Y1 = std::min(Y1, points[i].Y);
      if (points[i].X > X2) X2 = points[i].X - 1;
      if (points[i].Y > Y2) Y2 = points[i].Y - 1;
    }
    X1 = std::clamp(X1, 0, Width_ - 1);
    X2 = std::clamp(X2, 0, Width_ - 1);
    Y1 = std::clamp(Y1, 0, Height_ - 1);
    Y2 = std::clamp(Y2, 0, Height_ - 1);
  }

  // Edge list ordered by top line; edges of one line in the order a table with head insertion
  // gives (last recorded first).
  std::vector<std::pair<int64_t, TPolyEdge>> edges;
  edges.reserve(size_t(count));
  for (int i = count - 1; i >= 0; --i) {
    TPoint a = points[i], b = points[(i + 1) % count];
    if (a.Y == b.Y) continue;
    if (a.Y > b.Y) std::swap(a, b);
    edges.push_back({a.Y, TPolyEdge{a.X, b.Y, int64_t(b.X) - a.X, int64_t(b.Y) - a.Y, 0}});
  }
  std::stable_sort(edges.begin(), edges.end(), [](const auto& l, const auto& r) { return l.first < r.first; });

  int64_t written = 0;
  std::vector<TPolyEdge> active;
  size_t next = 0;
  int64_t y = 0;
  while (next < edges.size() || !active.empty()) {
    // Lines without any active edge produce nothing: jump to the next edge's top.
    if (active.empty()) {
      y = edges[next].first;
    } else {
      ++y;
      std::vector<TPolyEdge> kept;
      kept.reserve(active.size());
      for (TPolyEdge& e : active) {
        if (e.ymax == y) continue;
        AdvanceEdge(e);
        kept.push_back(e);
      }
      // Crossing edges (self-intersecting outlines) are put back in x order.
      std::stable_sort(kept.begin(), kept.end(), [](const TPolyEdge& l, const TPolyEdge& r) { return l.x < r.x; });
      active.swap(kept);
    }
    while (next < edges.size() && edges[next].first == y) InsertActive(active, edges[next++].second);
    for (size_t k = 0; k + 1 < active.size(); k += 2) {
      int64_t xl = active[k].x, xr = active[k + 1].x - 1;
      if (xr < xl) continue;
      int x1 = int(std::clamp<int64_t>(xl, -1, Width_)), x2 = int(std::clamp<int64_t>(xr, -1, Width_));
      int row = int(std::clamp<int64_t>(y, 0, Height_ - 1));
      written += FillRow(value, x1, row, x2);
    }
  }
  if (written == 0) {
    X1 = oldX1;
    Y1 = oldY1;
    X2 = oldX2;
    Y2 = oldY2;
  }
}

// ---- moving the selection ------------------------------------------------------------------

void TVLMask::Translate(int& dx, int& dy, bool clip) {
  if (Bits_.empty() || IsEmpty()) {
    // Nothing is set: nothing moves.
    dx = dy = 0;
    return;
  }
  if (!clip) {
    if (X1 + dx < 0) dx = -X1;
    if (X2 + dx >= Width_) dx = Width_ - X2 - 1;
    if (Y1 + dy < 0) dy = -Y1;
    if (Y2 + dy >= Height_) dy = Height_ - Y2 - 1;
  } else {
    // 64-bit: offsets of any size only trim the box.
    int64_t bx1 = X1, bx2 = X2, by1 = Y1, by2 = Y2;
    if (bx1 + dx < 0) bx1 = -int64_t(dx);
    if (bx2 + dx >= Width_) bx2 = int64_t(Width_) - 1 - dx;
    if (by1 + dy < 0) by1 = -int64_t(dy);
    if (by2 + dy >= Height_) by2 = int64_t(Height_) - 1 - dy;
    if (bx1 > bx2 || by1 > by2) {
      // The whole selection leaves the mask.
      Empty();
      return;
    }
    X1 = int(bx1);
    X2 = int(bx2);
    Y1 = int(by1);
    Y2 = int(by2);
  }
  if (dx == 0 && dy == 0) return;

  std::vector<uint8_t> old(Bits_);
  std::fill(Bits_.begin(), Bits_.end(), uint8_t(0));
  for (int y = Y1; y <= Y2; ++y) {
    int ty = y + dy;
    if (ty < 0 || ty >= Height_) continue;
    const uint8_t* src = old.data() + int64_t(Height_ - 1 - y) * RowLen_;
    uint8_t* dst = ScanLine(ty);
    if (BitsPerPixel_ == 1) {
      for (int x = X1; x <= X2; ++x) {
        int tx = x + dx;
        if (tx < 0 || tx >= Width_) continue;
        if (src[x >> 3] & (0x80 >> (x & 7))) dst[tx >> 3] |= uint8_t(0x80 >> (tx & 7));
      }
    } else {
      for (int x = X1; x <= X2; ++x) {
        int tx = x + dx;
        if (tx >= 0 && tx < Width_) dst[tx] = src[x];
      }
    }
  }
  X1 = std::clamp(X1 + dx, 0, Width_ - 1);
  X2 = std::clamp(X2 + dx, 0, Width_ - 1);
  Y1 = std::clamp(Y1 + dy, 0, Height_ - 1);
  Y2 = std::clamp(Y2 + dy, 0, Height_ - 1);
}

// ---- pasting through the mask --------------------------------------------------------------

void TVLMask::CopyMasked(TBitmap& dest, const TBitmap& src, bool srcAtBox, bool destAtBox) const {
  if (IsEmpty() || Bits_.empty()) return;
  const int bits = src.BitCount();
  if (bits != dest.BitCount() || (bits != 24 && bits != 1)) return;
  if (BitsPerPixel_ != 1 && BitsPerPixel_ != 8) return;
  const int sx = srcAtBox ? X1 : 0, sy = srcAtBox ? Y1 : 0;
  const int dxo = destAtBox ? X1 : 0, dyo = destAtBox ? Y1 : 0;
  const int x2 = std::min(X2, Width_ - 1), y2 = std::min(Y2, Height_ - 1);
  for (int y = std::max(Y1, 0); y <= y2; ++y) {
    // Pixels that fall outside either bitmap are skipped.
    const int syy = y - sy, dyy = y - dyo;
    if (syy < 0 || syy >= src.Height() || dyy < 0 || dyy >= dest.Height()) continue;
    const uint8_t* m = ScanLine(y);
    const uint8_t* s = src.ScanLine(syy);
    uint8_t* d = dest.ScanLine(dyy);
    for (int x = std::max(X1, 0); x <= x2; ++x) {
      const int sxx = x - sx, dxx = x - dxo;
      if (sxx < 0 || sxx >= src.Width() || dxx < 0 || dxx >= dest.Width()) continue;
      const int mv = BitsPerPixel_ == 1 ? (m[x >> 3] >> (7 - (x & 7))) & 1 : m[x];
      if (mv == 0) continue;
      if (bits == 1) {
        const uint8_t bit = uint8_t(0x80 >> (dxx & 7));
        if (s[sxx >> 3] & (0x80 >> (sxx & 7)))
          d[dxx >> 3] |= bit;
        else
          d[dxx >> 3] &= uint8_t(~bit);
      } else if (BitsPerPixel_ == 1) {
        std::copy(s + 3 * sxx, s + 3 * sxx + 3, d + 3 * dxx);
      } else {
        // d + floor((s − d) × m / 256), the shift being arithmetic.
        const int mm = mv << 10;
        for (int c = 0; c < 3; ++c) {
          const int dv = d[3 * dxx + c];
          d[3 * dxx + c] = uint8_t(dv + (((s[3 * sxx + c] - dv) * mm) >> 18));
        }
      }
    }
  }
}

}  // namespace velora

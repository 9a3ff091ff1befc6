// The morphological filters. The window is a square of (2m + 1)² pixels cut to the rectangle
// and the chosen pixel is the first best one in row order; both are the same as taking the
// least of a combined key (grey, row, column) over the window, and the least over a square is
// the least over its columns of the least over its rows. Each of those one-dimensional minima
// is the van Herk/Gil-Werman scheme: a running minimum from the start and from the end of
// every block of 2m + 1 positions, so that every window is the minimum of two entries and the
// time does not depend on the radius.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "color_adjust.h"
#include "filters.h"
#include "proc_area.h"

namespace velora {

using namespace proc_detail;

namespace {

using TKey = uint64_t;
constexpr TKey kNoKey = std::numeric_limits<TKey>::max();  // beyond the rectangle: never chosen
constexpr int kCoordBits = 28;
constexpr TKey kCoordMask = (TKey(1) << kCoordBits) - 1;

// The key of the pixel at (row, column) of the rectangle: the least key is the darkest pixel
// for the minimum and the brightest for the maximum, ties going to the lowest row, then column.
TKey MakeKey(int grey, bool maximum, int row, int column) {
  return TKey(maximum ? 255 - grey : grey) << (2 * kCoordBits) | TKey(row) << kCoordBits | TKey(column);
}

// Window minima along one axis, in place. Position p of lane l is data[p × stride + l]; each
// of the n positions takes the least over positions p − m..p + m that lie in 0..n − 1, for all
// lanes at once (the lanes are neighbouring columns, so that the vertical pass reads rows).
class TWindowMin {
 public:
  void Run(TKey* data, size_t stride, int n, int lanes, int m) {
    if (m <= 0 || n <= 1) return;
    m = std::min(m, n - 1);  // a wider window covers the whole line anyway
    if (m == 1) return RunThree(data, stride, n, lanes);
    const int k = 2 * m + 1, padded = n + 2 * m;
    const size_t L = size_t(lanes);
    prefix_.resize(size_t(padded) * L);
    suffix_.resize(size_t(padded) * L);
    none_.assign(L, kNoKey);
    auto in = [&](int j) -> const TKey* {
      const int p = j - m;
      return p >= 0 && p < n ? data + size_t(p) * stride : none_.data();
    };
    for (int j = 0; j < padded; ++j) {
      const TKey* f = in(j);
      TKey* g = &prefix_[size_t(j) * L];
      if (j % k == 0) {
        std::memcpy(g, f, L * sizeof(TKey));
      } else {
        const TKey* before = g - L;
        for (size_t l = 0; l < L; ++l) g[l] = std::min(before[l], f[l]);
      }
    }
    for (int j = padded - 1; j >= 0; --j) {
      const TKey* f = in(j);
      TKey* h = &suffix_[size_t(j) * L];
      if (j % k == k - 1 || j == padded - 1) {
        std::memcpy(h, f, L * sizeof(TKey));
      } else {
        const TKey* after = h + L;
        for (size_t l = 0; l < L; ++l) h[l] = std::min(after[l], f[l]);
      }
    }
    for (int p = 0; p < n; ++p) {
      const TKey* h = &suffix_[size_t(p) * L];
      const TKey* g = &prefix_[size_t(p + 2 * m) * L];
      TKey* out = data + size_t(p) * stride;
      for (size_t l = 0; l < L; ++l) out[l] = std::min(h[l], g[l]);
    }
  }

 private:
  // The 3-wide window, the dialog's default, directly: each position against its neighbours,
  // the one before as it was (kept in `before_`), the one after not yet written. Half the
  // memory traffic of the running minima.
  void RunThree(TKey* data, size_t stride, int n, int lanes) {
    const size_t L = size_t(lanes);
    before_.assign(L, kNoKey);
    none_.assign(L, kNoKey);
    for (int p = 0; p < n; ++p) {
      TKey* at = data + size_t(p) * stride;
      const TKey* after = p + 1 < n ? at + stride : none_.data();
      for (size_t l = 0; l < L; ++l) {
        const TKey own = at[l];
        at[l] = std::min({before_[l], own, after[l]});
        before_[l] = own;
      }
    }
  }

  std::vector<TKey> prefix_, suffix_, none_, before_;
};

// Columns per strip of the vertical pass: a strip's rows are a few cache lines long.
constexpr int kStripLanes = 32;

// Radius 1, the dialog's default, streamed through the cache: each row's horizontal minima are
// made once into a ring of three rows and each output row takes the least of three of them, so
// the keys of the whole rectangle are never held. The rows' own colours wait in a ring of three
// too: by the time a row is written, the one above it has been overwritten in the bitmap.
template <class ReportRow>
void MorphPassThree(TBitmap& bitmap, const TVLArea& a, bool maximum, ReportRow&& reportRow) {
  const int w = a.Width(), h = a.Height();
  const size_t W = size_t(w), rowBytes = W * 3;
  std::vector<uint8_t> colours(rowBytes * 3);
  std::vector<TKey> across(W * 3);
  const std::vector<TKey> none(W, kNoKey);
  const auto load = [&](int r) {
    const size_t slot = size_t(r % 3);
    const uint8_t* p = bitmap.ScanLine(a.y0 + r) + 3 * size_t(a.x0);
    std::memcpy(&colours[rowBytes * slot], p, rowBytes);
    TKey* key = &across[W * slot];
    for (int c = 0; c < w; ++c, p += 3) key[c] = MakeKey(GrayOf(p[2], p[1], p[0]), maximum, r, c);
    TKey before = kNoKey;
    for (int c = 0; c < w; ++c) {
      const TKey own = key[c];
      key[c] = std::min({before, own, c + 1 < w ? key[c + 1] : kNoKey});
      before = own;
    }
  };
  load(0);
  if (h > 1) load(1);
  for (int r = 0; r < h; ++r) {
    const TKey* above = r > 0 ? &across[W * size_t((r + 2) % 3)] : none.data();
    const TKey* own = &across[W * size_t(r % 3)];
    const TKey* below = r + 1 < h ? &across[W * size_t((r + 1) % 3)] : none.data();
    uint8_t* out = bitmap.ScanLine(a.y0 + r) + 3 * size_t(a.x0);
    for (size_t c = 0; c < W; ++c, out += 3) {
      const TKey key = std::min({above[c], own[c], below[c]});
      // Under the maximum nothing beats grey 0: the pixel stays itself.
      if (maximum && key >> (2 * kCoordBits) == 255) continue;
      const size_t slot = size_t(key >> kCoordBits & kCoordMask) % 3, column = size_t(key & kCoordMask);
      std::memcpy(out, &colours[rowBytes * slot + 3 * column], 3);
    }
    reportRow(r);
    if (r + 2 < h) load(r + 2);
  }
}

// One pass over the rectangle; `reportRow(row)` after each row is written.
template <class ReportRow>
void MorphPass(TBitmap& bitmap, const TVLArea& a, int m, bool maximum, ReportRow&& reportRow) {
  if (m == 1) return MorphPassThree(bitmap, a, maximum, reportRow);
  const int w = a.Width(), h = a.Height();
  const size_t rowBytes = size_t(w) * 3;
  std::vector<uint8_t> colours(rowBytes * size_t(h));
  std::vector<TKey> keys(size_t(w) * size_t(h));
  for (int r = 0; r < h; ++r) {
    const uint8_t* p = bitmap.ScanLine(a.y0 + r) + 3 * size_t(a.x0);
    std::memcpy(&colours[rowBytes * size_t(r)], p, rowBytes);
    TKey* key = &keys[size_t(r) * size_t(w)];
    for (int c = 0; c < w; ++c, p += 3) key[c] = MakeKey(GrayOf(p[2], p[1], p[0]), maximum, r, c);
  }
  TWindowMin window;
  for (int r = 0; r < h; ++r) window.Run(&keys[size_t(r) * size_t(w)], 1, w, 1, m);
  for (int c = 0; c < w; c += kStripLanes) window.Run(&keys[size_t(c)], size_t(w), h, std::min(kStripLanes, w - c), m);
  for (int r = 0; r < h; ++r) {
    uint8_t* out = bitmap.ScanLine(a.y0 + r) + 3 * size_t(a.x0);
    const TKey* key = &keys[size_t(r) * size_t(w)];
    for (int c = 0; c < w; ++c, out += 3) {
      // Under the maximum nothing beats grey 0: the pixel stays itself.
      if (maximum && key[c] >> (2 * kCoordBits) == 255) continue;
      const size_t row = size_t(key[c] >> kCoordBits & kCoordMask), column = size_t(key[c] & kCoordMask);
      std::memcpy(out, &colours[rowBytes * row + 3 * column], 3);
    }
    reportRow(r);
  }
}

}  // namespace

void MorphFilter(TBitmap& bitmap, int radius, int filter, int x0, int y0, int x1, int y1,
                 const TVLProgressRecord* progress) {
  if (!Takes24(bitmap) || filter < mfMaximum || filter > mfClosing) return;
  const TVLArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  // The key holds row and column in 28 bits each; a rectangle that long is beyond any image
  // the readers make.
  if (a.Width() > int(kCoordMask) || a.Height() > int(kCoordMask)) return;
  struct TPass {
    bool maximum;
  };
  std::vector<TPass> passes;
  switch (filter) {
    case mfMaximum: passes = {{true}}; break;
    case mfMinimum: passes = {{false}}; break;
    case mfOpening: passes = {{false}, {true}}; break;
    default: passes = {{true}, {false}}; break;
  }
  const int rows = a.Height();
  const double f = 100.0 / (rows - 0.5) / double(passes.size());
  for (size_t pass = 0; pass < passes.size(); ++pass) {
    auto report = [&](int r) { ReportPercent(progress, (r + 1 + double(pass) * rows) * f); };
    if (radius <= 0) {
      // The window is the pixel itself.
      for (int r = 0; r < rows; ++r) report(r);
      continue;
    }
    MorphPass(bitmap, a, radius, passes[pass].maximum, report);
  }
}

}  // namespace velora

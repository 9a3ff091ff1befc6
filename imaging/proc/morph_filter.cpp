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

// Window minima along a row, in place: each of the n keys takes the least over positions
// p − m..p + m that lie in 0..n − 1. The running minima from the start of each block are kept;
// those from the end of each block are made on the way back and used at once, so the row is
// written in the same pass.
class TRowMin {
 public:
  void Run(TKey* data, int n, int m) {
    if (m <= 0 || n <= 1) return;
    m = std::min(m, n - 1);  // a wider window covers the whole row anyway
    const int k = 2 * m + 1, padded = n + 2 * m;
    // Padded position j is key j − m; those beyond the row are never chosen.
    line_.assign(size_t(padded), kNoKey);
    std::memcpy(&line_[size_t(m)], data, size_t(n) * sizeof(TKey));
    fromStart_.resize(size_t(padded));
    const TKey* f = line_.data();
    TKey* g = fromStart_.data();
    for (int b = 0; b < padded; b += k) {
      const int end = std::min(b + k, padded);
      g[b] = f[b];
      for (int j = b + 1; j < end; ++j) g[j] = std::min(g[j - 1], f[j]);
    }
    // Key p's window is padded p..p + 2m: from p to its block's end, then from the next
    // block's start to p + 2m.
    for (int b = (padded - 1) / k * k; b >= 0; b -= k) {
      TKey toEnd = kNoKey;
      for (int j = std::min(b + k, padded) - 1; j >= b; --j) {
        toEnd = std::min(toEnd, f[j]);
        if (j < n) data[j] = std::min(toEnd, g[j + 2 * m]);
      }
    }
  }

 private:
  std::vector<TKey> line_, fromStart_;
};

// One pass, streamed through the cache. Each row's horizontal minima are made as it is read;
// the vertical minima run down the rows in blocks of k = 2m + 1 (the van Herk scheme again):
// a running minimum from the start of the current block, and the minima from each row to the
// end of the block before, made once that block was whole. Output row p takes the least of the
// two, so only two blocks of keys are ever held; the colours of the 2m + 1 rows a window can
// reach wait in a ring, since by the time a row is written the rows above it have been
// overwritten in the bitmap. Blocks keep only the rectangle's own rows:
// however large the radius, the keys held never outnumber the rectangle's pixels.
template <class ReportRow>
void MorphPass(TBitmap& bitmap, const TVLArea& a, int m, bool maximum, ReportRow&& reportRow) {
  const int w = a.Width(), h = a.Height();
  // Padded position j is row j − mv of the rectangle; the positions before and after it are
  // never chosen, so a block holds the keys of positions [first, end) only.
  const int mv = std::min(m, h - 1), k = 2 * mv + 1, padded = h + 2 * mv;
  const auto firstHeld = [&](int blockStart) { return std::max(blockStart, mv); };
  const auto endHeld = [&](int blockStart) { return std::min(blockStart + k, mv + h); };
  const size_t W = size_t(w), rowBytes = W * 3, ring = size_t(std::min(k, h));
  std::vector<uint8_t> colours(rowBytes * ring);
  // Where each row's colours wait in the ring: a division per pixel would cost more than the
  // whole window's minima.
  std::vector<size_t> waiting(static_cast<size_t>(h));
  for (size_t r = 0; r < size_t(h); ++r) waiting[r] = rowBytes * (r % ring);
  std::vector<TKey> current, previous, prefix(W);
  int previousFirst = 0;
  TRowMin across;
  const auto load = [&](int r, TKey* key) {
    const uint8_t* p = bitmap.ScanLine(a.y0 + r) + 3 * size_t(a.x0);
    std::memcpy(&colours[waiting[size_t(r)]], p, rowBytes);
    for (int c = 0; c < w; ++c, p += 3) key[c] = MakeKey(GrayOf(p[2], p[1], p[0]), maximum, r, c);
    across.Run(key, w, m);
  };
  // Output row `row` takes, column by column, the lesser of two rows of minima.
  const auto write = [&](int row, const TKey* one, const TKey* other) {
    uint8_t* out = bitmap.ScanLine(a.y0 + row) + 3 * size_t(a.x0);
    for (size_t c = 0; c < W; ++c, out += 3) {
      const TKey key = std::min(one[c], other[c]);
      // Under the maximum nothing beats grey 0: the pixel stays itself.
      if (maximum && key >> (2 * kCoordBits) == 255) continue;
      const size_t from = size_t(key >> kCoordBits & kCoordMask), column = size_t(key & kCoordMask);
      std::memcpy(out, &colours[waiting[from] + 3 * column], 3);
    }
    reportRow(row);
  };
  for (int j = 0; j < padded; ++j) {
    const int slot = j % k, blockStart = j - slot;
    if (slot == 0) {
      current.resize(W * size_t(std::max(0, endHeld(blockStart) - firstHeld(blockStart))));
      std::fill(prefix.begin(), prefix.end(), kNoKey);
    }
    if (j >= mv && j < mv + h) {
      TKey* key = &current[W * size_t(j - firstHeld(blockStart))];
      load(j - mv, key);
      for (size_t c = 0; c < W; ++c) prefix[c] = std::min(prefix[c], key[c]);
    }
    const int p = j - 2 * mv;  // the output row whose window ends here
    if (p >= 0) {
      // Its window is this whole block, or runs from p to the end of the block before (from
      // that block's first held row when p lies before the rectangle).
      const TKey* fromEnd = slot == k - 1 ? prefix.data() : &previous[W * size_t(std::max(p, previousFirst) - previousFirst)];
      write(p, prefix.data(), fromEnd);
    }
    if (slot == k - 1) {
      // The block is whole: its minima to the end, for the rows of the next block.
      const size_t held = current.size() / W;
      for (size_t i = held - std::min<size_t>(held, 1); i-- > 0;) {
        TKey* row = &current[W * i];
        const TKey* below = row + W;
        for (size_t c = 0; c < W; ++c) row[c] = std::min(row[c], below[c]);
      }
      current.swap(previous);
      previousFirst = firstHeld(blockStart);
    }
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

#include "flip_turn.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "parallel_rows.h"
#include "proc_area.h"

namespace velora {

namespace {

// A raster as bitmaps and masks both store it: rows bottom-up, RowLen bytes apart.
struct TPlane {
  uint8_t* bits = nullptr;
  int64_t rowLen = 0;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  uint8_t* Row(int y) const { return bits + (int64_t(height) - 1 - y) * rowLen; }
  bool Empty() const { return width <= 0 || height <= 0 || !bits; }
};

TPlane PlaneOf(TBitmap& b) { return {b.Bits(), b.RowLen(), b.Width(), b.Height(), b.BitCount()}; }
TPlane PlaneOf(TVLMask& m) { return {m.Bits(), m.RowLen(), m.Width(), m.Height(), m.BitsPerPixel()}; }

bool Movable(int bitsPerPixel) { return bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 24; }

bool WorthThreads(const TPlane& p) { return velora::WorthThreads(int64_t(p.width) * p.height); }

// A stretch of the progress bar, from `from` percent on for `share` percent: a move reports its
// part of it as its bands finish (a half turn is two mirrors, half the stretch each).
struct TSpan {
  const TVLProgressRecord* progress = nullptr;
  double from = 0, share = 100;
  std::function<void(int)> Steps(int count) const {
    if (!progress || !progress->fOnProgress || count <= 0) return nullptr;
    return [span = *this, count](int done) {
      proc_detail::ReportPercent(span.progress, span.from + span.share * done / count);
    };
  }
  TSpan Half(int which) const { return {progress, from + share / 2 * which, share / 2}; }
};

// The moves that need a second raster: quarter turns and the two diagonal mirrors.
enum class TMove { TurnCcw, TurnCw, Transpose, Transverse };

// Where a destination pixel comes from: source x = ox + ax·x + bx·y, y = oy + ay·x + by·y,
// for a source of w × h pixels.
struct TAxisMap {
  int ox, ax, bx, oy, ay, by;
};

TAxisMap SourceMap(TMove move, int w, int h) {
  switch (move) {
    case TMove::TurnCcw: return {w - 1, 0, -1, 0, 1, 0};      // (w − 1 − y, x)
    case TMove::TurnCw: return {0, 0, 1, h - 1, -1, 0};       // (y, h − 1 − x)
    case TMove::Transpose: return {0, 0, 1, 0, 1, 0};         // (y, x)
    case TMove::Transverse: return {w - 1, 0, -1, h - 1, -1, 0};  // (w − 1 − y, h − 1 − x)
  }
  return {};
}

// Where a source pixel lands, for carrying a mask's bounding box along.
TPoint Destination(TMove move, int w, int h, int x, int y) {
  switch (move) {
    case TMove::TurnCcw: return {y, w - 1 - x};
    case TMove::TurnCw: return {h - 1 - y, x};
    case TMove::Transpose: return {y, x};
    case TMove::Transverse: return {h - 1 - y, w - 1 - x};
  }
  return {};
}

// Whole-byte pixels, in square tiles: a tile's source rows stay in the cache while its
// destination rows walk down their columns.
template <int N>
void RemapBytes(const TPlane& src, const TPlane& dst, const TAxisMap& m, const TSpan& span) {
  constexpr int kTile = 64;
  // Source bytes between neighbouring destination pixels of a row (source rows are bottom-up).
  const int64_t step = int64_t(m.ax) * N - int64_t(m.ay) * src.rowLen;
  const int bands = (dst.height + kTile - 1) / kTile;
  ParallelRows(
      bands, 1,
      [&](int b0, int b1) {
        for (int band = b0; band < b1; ++band) {
          const int y0 = band * kTile, y1 = std::min(dst.height, y0 + kTile);
          for (int x0 = 0; x0 < dst.width; x0 += kTile) {
            const int n = std::min(dst.width - x0, kTile);
            for (int y = y0; y < y1; ++y) {
              uint8_t* d = dst.Row(y) + int64_t(x0) * N;
              const uint8_t* s = src.Row(m.oy + m.ay * x0 + m.by * y) + int64_t(m.ox + m.ax * x0 + m.bx * y) * N;
              for (int i = 0; i < n; ++i) std::memcpy(d + int64_t(i) * N, s + i * step, N);
            }
          }
        }
      },
      span.Steps(bands), WorthThreads(dst));
}

void RemapBits(const TPlane& src, const TPlane& dst, const TAxisMap& m, const TSpan& span) {
  ParallelRows(
      dst.height, 64,
      [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
          uint8_t* d = dst.Row(y);
          std::memset(d, 0, size_t(dst.rowLen));
          for (int x = 0; x < dst.width; ++x) {
            const int sx = m.ox + m.ax * x + m.bx * y, sy = m.oy + m.ay * x + m.by * y;
            if (src.Row(sy)[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
          }
        }
      },
      span.Steps(dst.height), WorthThreads(dst));
}

void Remap(const TPlane& src, const TPlane& dst, TMove move, const TSpan& span = {}) {
  if (src.Empty()) return;
  const TAxisMap m = SourceMap(move, src.width, src.height);
  switch (src.bitsPerPixel) {
    case 1: RemapBits(src, dst, m, span); break;
    case 8: RemapBytes<1>(src, dst, m, span); break;
    case 24: RemapBytes<3>(src, dst, m, span); break;
  }
}

// ---- mirrors in place

constexpr std::array<uint8_t, 256> kReversedBits = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    t[size_t(i)] = uint8_t(r);
  }
  return t;
}();

// Bit x takes bit width − 1 − x: the bytes reversed and their bits too put the row's last pixel
// `pad` bits in, so the result is shifted left by the padding of the last byte.
void MirrorBitRow(uint8_t* row, int width, std::vector<uint8_t>& reversed) {
  const int n = (width + 7) / 8, pad = n * 8 - width;
  reversed.resize(size_t(n));
  for (int i = 0; i < n; ++i) reversed[size_t(i)] = kReversedBits[row[n - 1 - i]];
  for (int k = 0; k < n; ++k) {
    const uint8_t low = pad && k + 1 < n ? uint8_t(reversed[size_t(k + 1)] >> (8 - pad)) : 0;
    row[k] = uint8_t(reversed[size_t(k)] << pad) | low;
  }
}

template <int N>
void MirrorByteRow(uint8_t* row, int width) {
  for (int l = 0, r = width - 1; l < r; ++l, --r) {
    uint8_t t[N];
    std::memcpy(t, row + int64_t(l) * N, N);
    std::memcpy(row + int64_t(l) * N, row + int64_t(r) * N, N);
    std::memcpy(row + int64_t(r) * N, t, N);
  }
}

void MirrorLeftRight(const TPlane& p, const TSpan& span) {
  ParallelRows(
      p.height, 64,
      [&](int y0, int y1) {
        std::vector<uint8_t> reversed;
        for (int y = y0; y < y1; ++y) {
          uint8_t* row = p.Row(y);
          switch (p.bitsPerPixel) {
            case 1: MirrorBitRow(row, p.width, reversed); break;
            case 8: MirrorByteRow<1>(row, p.width); break;
            case 24: MirrorByteRow<3>(row, p.width); break;
          }
        }
      },
      span.Steps(p.height), WorthThreads(p));
}

void MirrorUpsideDown(const TPlane& p, const TSpan& span) {
  const size_t used = size_t(p.rowLen);
  ParallelRows(
      p.height / 2, 64,
      [&](int y0, int y1) {
        std::vector<uint8_t> t(used);
        for (int y = y0; y < y1; ++y) {
          uint8_t* a = p.Row(y);
          uint8_t* b = p.Row(p.height - 1 - y);
          std::memcpy(t.data(), a, used);
          std::memcpy(a, b, used);
          std::memcpy(b, t.data(), used);
        }
      },
      span.Steps(p.height / 2), WorthThreads(p));
}

void Mirror(const TPlane& p, int direction, const TSpan& span = {}) {
  if (p.Empty()) return;
  if (direction == fdVertical)
    MirrorUpsideDown(p, span);
  else
    MirrorLeftRight(p, span);
}

// ---- bitmaps and masks

void FlipBox(TVLMask& mask, int direction) {
  if (mask.IsEmpty()) return;
  if (direction == fdVertical) {
    const int y1 = mask.Height() - 1 - mask.Y2, y2 = mask.Height() - 1 - mask.Y1;
    mask.Y1 = y1, mask.Y2 = y2;
  } else {
    const int x1 = mask.Width() - 1 - mask.X2, x2 = mask.Width() - 1 - mask.X1;
    mask.X1 = x1, mask.X2 = x2;
  }
}

// The moved raster is built beside the old one and handed over only when both the picture and
// its mask could be allocated, so a failure leaves either as it was.
struct TPendingMove {
  TMove move;
  TBitmap* bitmap = nullptr;
  TVLMask* mask = nullptr;
  TBitmap movedBitmap;
  TVLMask movedMask;

  bool Prepare() {
    try {
      if (bitmap) {
        // Every move of this kind exchanges width and height.
        movedBitmap.Reset(bitmap->Height(), bitmap->Width(), bitmap->PixelFormat());
        movedBitmap.SetPalette(bitmap->Palette(), bitmap->PaletteCount());
      }
      if (mask) {
        movedMask.Allocate(mask->Height(), mask->Width(), mask->BitsPerPixel());
      }
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  void Commit(const TSpan& span) {
    if (bitmap) {
      Remap(PlaneOf(*bitmap), PlaneOf(movedBitmap), move, span);
      bitmap->SwapPixels(movedBitmap);
    }
    if (mask) {
      Remap(PlaneOf(*mask), PlaneOf(movedMask), move);
      if (!mask->IsEmpty()) {
        const TPoint a = Destination(move, mask->Width(), mask->Height(), mask->X1, mask->Y1);
        const TPoint b = Destination(move, mask->Width(), mask->Height(), mask->X2, mask->Y2);
        movedMask.X1 = std::min(a.X, b.X), movedMask.X2 = std::max(a.X, b.X);
        movedMask.Y1 = std::min(a.Y, b.Y), movedMask.Y2 = std::max(a.Y, b.Y);
      }
      movedMask.SetFull(mask->Full());
      *mask = std::move(movedMask);
    }
  }
};

bool Move(TBitmap* bitmap, TVLMask* mask, TMove move, const TSpan& span = {}) {
  TPendingMove pending{move, bitmap, mask, {}, {}};
  if (!pending.Prepare()) return false;
  pending.Commit(span);
  return true;
}

bool MaskMovable(const TVLMask* mask) { return mask && mask->Width() > 0 && Movable(mask->BitsPerPixel()); }

void FlipBoth(TBitmap& bitmap, TVLMask* mask, int direction) {
  Mirror(PlaneOf(bitmap), direction);
  if (MaskMovable(mask)) {
    Mirror(PlaneOf(*mask), direction);
    FlipBox(*mask, direction);
  }
}

bool TurnBoth(TBitmap* bitmap, TVLMask* mask, int quarters, const TSpan& span = {}) {
  switch (((quarters % 4) + 4) % 4) {
    case 1: return Move(bitmap, mask, TMove::TurnCcw, span);
    case 2:
      for (int direction : {fdVertical, fdHorizontal}) {
        if (bitmap) Mirror(PlaneOf(*bitmap), direction, span.Half(direction == fdVertical ? 0 : 1));
        if (mask) Mirror(PlaneOf(*mask), direction), FlipBox(*mask, direction);
      }
      return true;
    case 3: return Move(bitmap, mask, TMove::TurnCw, span);
    default: return true;
  }
}

}  // namespace

bool VLFlipBitmap(TBitmap& bitmap, int direction, const TVLProgressRecord* progress) {
  if (!Movable(bitmap.BitCount())) return false;
  Mirror(PlaneOf(bitmap), direction, {progress});
  return true;
}

bool VLTurnBitmap(TBitmap& bitmap, int quarters, const TVLProgressRecord* progress) {
  if (!Movable(bitmap.BitCount())) return false;
  return TurnBoth(&bitmap, nullptr, quarters, {progress});
}

bool VLFlipMask(TVLMask& mask, int direction) {
  if (!Movable(mask.BitsPerPixel())) return false;
  Mirror(PlaneOf(mask), direction);
  FlipBox(mask, direction);
  return true;
}

bool VLTurnMask(TVLMask& mask, int quarters) {
  if (!Movable(mask.BitsPerPixel())) return false;
  return TurnBoth(nullptr, &mask, quarters);
}

bool VLApplyOrientation(TBitmap& bitmap, TVLMask* mask, int orientation) {
  if (orientation < 2 || orientation > 8) return true;
  if (!Movable(bitmap.BitCount())) return false;
  if (!MaskMovable(mask)) mask = nullptr;
  switch (orientation) {
    case 2: FlipBoth(bitmap, mask, fdHorizontal); return true;
    case 3: return TurnBoth(&bitmap, mask, 2);
    case 4: FlipBoth(bitmap, mask, fdVertical); return true;
    case 5: return Move(&bitmap, mask, TMove::Transpose);
    case 6: return Move(&bitmap, mask, TMove::TurnCw);
    case 7: return Move(&bitmap, mask, TMove::Transverse);
    default: return Move(&bitmap, mask, TMove::TurnCcw);
  }
}

}  // namespace velora

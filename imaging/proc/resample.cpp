// The filtered two-pass resampler: a horizontal pass of every source row into a work plane of
// dw × sh, then a vertical pass into the destination, each with precomputed contributor lists.
#include <algorithm>
#include <cstring>
#include <new>

#include "resample_private.h"

namespace velora {

using namespace resample_detail;

namespace {

// A plane of bytes handed to the two passes: `channels` bytes per pixel.
struct TPlane {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> bytes;
  std::vector<const uint8_t*> rows;
  void Allocate(int w, int h, int c) {
    width = w;
    height = h;
    channels = c;
    bytes.assign(size_t(int64_t(w) * c * h), 0);
    rows.resize(size_t(h));
    for (int y = 0; y < h; ++y) rows[size_t(y)] = bytes.data() + int64_t(y) * w * c;
  }
  uint8_t* Row(int y) { return bytes.data() + int64_t(y) * width * channels; }
};


struct TPassProgress {
  const TVLProgressRecord* progress = nullptr;
  int sh = 0, dw = 0, dh = 0;
  void Pass1(int rowsDone) const {
    if (progress) progress->Report(int(rowsDone * 100 / (sh + dw + 0.5)));
  }
  void Pass2(int rowsDone) const {
    // The sums run row by row; the percentage is counted in columns, as if column by column.
    if (progress) progress->Report(int((sh + int64_t(rowsDone) * dw / dh) * 100 / (sh + dw + 0.5)));
  }
};

// Horizontal pass of three-channel rows: one row at a time, blue, green, red in lanes 0..2.
void HorizontalPass3(const TContributors& cx, int sw, int sh, const TRowReader& read, TPlane& work,
                     TRounding rounding, const TPassProgress& pp, bool threads) {
  const int dw = work.width;
  ParallelRows(
      sh, 8,
      [&](int y0, int y1) {
        std::vector<uint8_t> scratch(static_cast<size_t>(sw) * 3 + 4);
        std::vector<double> lanes(static_cast<size_t>(sw) * 4), sums(static_cast<size_t>(dw) * 4);
        for (int y = y0; y < y1; ++y) {
          WidenRow3(read(y, scratch.data()), sw, lanes.data());
          HorizontalSums(cx, lanes.data(), sums.data(), dw);
          uint8_t* out = work.Row(y);
          for (int i = 0; i < dw; ++i) {
            out[3 * i] = ToByte(sums[4 * size_t(i)], rounding);
            out[3 * i + 1] = ToByte(sums[4 * size_t(i) + 1], rounding);
            out[3 * i + 2] = ToByte(sums[4 * size_t(i) + 2], rounding);
          }
        }
      },
      [&](int done) { pp.Pass1(done); }, threads);
}

// Horizontal pass of one-channel rows: four rows side by side in the four lanes.
void HorizontalPass1(const TContributors& cx, int sw, int sh, const TRowReader& read, TPlane& work,
                     TRounding rounding, bool threads) {
  const int dw = work.width;
  const int groups = (sh + 3) / 4;
  ParallelRows(groups, 2, [&](int g0, int g1) {
    std::vector<uint8_t> scratch(static_cast<size_t>(sw) + 4);
    std::vector<double> lanes(static_cast<size_t>(sw) * 4), sums(static_cast<size_t>(dw) * 4);
    for (int g = g0; g < g1; ++g) {
      const int n = std::min(4, sh - 4 * g);
      std::fill(lanes.begin(), lanes.end(), 0.0);
      for (int l = 0; l < n; ++l) {
        const uint8_t* src = read(4 * g + l, scratch.data());
        for (int x = 0; x < sw; ++x) lanes[4 * size_t(x) + l] = src[size_t(x)];
      }
      HorizontalSums(cx, lanes.data(), sums.data(), dw);
      for (int l = 0; l < n; ++l) {
        uint8_t* out = work.Row(4 * g + l);
        for (int i = 0; i < dw; ++i) out[i] = ToByte(sums[4 * size_t(i) + l], rounding);
      }
    }
  }, nullptr, threads);
}

void VerticalPass(const TContributors& cy, const TPlane& work, int dh, const TRowWriter& write, TRounding rounding,
                  const TPassProgress& pp, bool threads) {
  const int n = work.width * work.channels;
  ParallelRows(
      dh, 8,
      [&](int r0, int r1) {
        std::vector<uint8_t> out(static_cast<size_t>(n) + 16);
        for (int r = r0; r < r1; ++r) {
          VerticalRow(cy, r, work.rows.data(), n, rounding, out.data());
          write(r, out.data());
        }
      },
      [&](int done) { pp.Pass2(done); }, threads);
}

// Runs both passes. False when there is nothing to do.
bool TwoPass(int sw, int sh, int dw, int dh, int channels, TResampleFilter filter, TRounding rounding,
             const TRowReader& read, const TRowWriter& write, const TVLProgressRecord* progress) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || (sw < 2 && sh < 2)) return false;
  const TContributors cx = BuildContributors(filter, sw, dw);
  const TContributors cy = BuildContributors(filter, sh, dh);
  TPlane work;
  work.Allocate(dw, sh, channels);
  const TPassProgress pp{progress, sh, dw, dh};
  const bool threads = WorthThreads(sw, sh, dw, dh);
  if (channels == 3)
    HorizontalPass3(cx, sw, sh, read, work, rounding, pp, threads);
  else
    HorizontalPass1(cx, sw, sh, read, work, rounding, threads);
  VerticalPass(cy, work, dh, write, rounding, pp, threads);
  return true;
}

inline bool Bit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

}  // namespace

namespace resample_detail {

TRowReader Reader24(const TBitmap& s) {
  const int w = s.Width();
  switch (s.BitCount()) {
    case 24:
      return [&s](int y, uint8_t*) { return s.ScanLine(y); };
    case 32:
      return [&s, w](int y, uint8_t* out) {
        const uint8_t* p = s.ScanLine(y);
        for (int x = 0; x < w; ++x) std::memcpy(out + 3 * x, p + 4 * x, 3);
        return static_cast<const uint8_t*>(out);
      };
    case 1:
    case 4:
    case 8: {
      const int bits = s.BitCount();
      return [&s, w, bits](int y, uint8_t* out) {
        const uint8_t* p = s.ScanLine(y);
        for (int x = 0; x < w; ++x) {
          int i = bits == 8 ? p[x] : bits == 4 ? (p[x >> 1] >> (x & 1 ? 0 : 4)) & 15 : int(Bit(p, x));
          const TRGB c = i < s.PaletteCount() ? s.PaletteEntry(i) : TRGB{};
          out[3 * x] = c.b;
          out[3 * x + 1] = c.g;
          out[3 * x + 2] = c.r;
        }
        return static_cast<const uint8_t*>(out);
      };
    }
    case 15:
    case 16: {
      const bool r565 = s.BitCount() == 16;
      return [&s, w, r565](int y, uint8_t* out) {
        const uint8_t* p = s.ScanLine(y);
        for (int x = 0; x < w; ++x) {
          const int v = p[2 * x] | (p[2 * x + 1] << 8);
          const int b = v & 31, g = r565 ? (v >> 5) & 63 : (v >> 5) & 31, r = r565 ? (v >> 11) & 31 : (v >> 10) & 31;
          out[3 * x] = uint8_t(b * 255 / 31);
          out[3 * x + 1] = uint8_t(r565 ? g * 255 / 63 : g * 255 / 31);
          out[3 * x + 2] = uint8_t(r * 255 / 31);
        }
        return static_cast<const uint8_t*>(out);
      };
    }
    default:
      return nullptr;
  }
}

TRowReader ReaderBits(const TBitmap& s) {
  const int w = s.Width();
  return [&s, w](int y, uint8_t* out) {
    const uint8_t* p = s.ScanLine(y);
    for (int x = 0; x < w; ++x) out[x] = Bit(p, x) ? 255 : 0;
    return static_cast<const uint8_t*>(out);
  };
}

TRowWriter WriterGreyTo24(TBitmap& d) {
  const int w = d.Width();
  return [&d, w](int y, const uint8_t* row) {
    uint8_t* p = d.ScanLine(y);
    for (int x = 0; x < w; ++x) p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = row[x];
  };
}

}  // namespace resample_detail

void ResampleBitmap(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
                    const TVLProgressRecord* progress) {
  if (filter == rfFastLinear) return FastResizeBitmap(source, dest, progress);
  if (filter == rfNone) return StretchBitmap(source, dest);
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || (sw < 2 && sh < 2)) return;
  TRowReader read = Reader24(source);
  if (!read) return;
  try {
    dest.SetPixelFormat(TPixelFormat::pf24bit);
    const int w = dest.Width();
    TwoPass(sw, sh, dw, dh, 3, filter, TRounding::Truncate, read,
            [&dest, w](int y, const uint8_t* row) { std::memcpy(dest.ScanLine(y), row, size_t(w) * 3); }, progress);
  } catch (const std::bad_alloc&) {
    // Not enough memory for the work plane: no output, like any other refused input.
  }
}

void ResampleBitmap1Bit(const TBitmap& source, TBitmap& dest, TResampleFilter filter) {
  if (source.BitCount() != 1) return;
  if (filter == rfFastLinear) return FastResizeBitmap1Bit(source, dest);
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || (sw < 2 && sh < 2)) return;
  try {
    dest.SetPixelFormat(TPixelFormat::pf24bit);
    TwoPass(sw, sh, dw, dh, 1, filter, TRounding::NearestEven, ReaderBits(source), WriterGreyTo24(dest), nullptr);
  } catch (const std::bad_alloc&) {
  }
}

void ResampleMask(const TVLMask& source, TVLMask& dest, TResampleFilter filter) {
  if (source.BitsPerPixel() != 8) return;
  if (filter == rfFastLinear) return FastResizeMask(source, dest);
  const int sw = source.Width(), sh = source.Height(), dw = dest.Width(), dh = dest.Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || (sw < 2 && sh < 2)) return;
  try {
    if (dest.BitsPerPixel() != 8) dest.Allocate(dw, dh, 8);
    TwoPass(
        sw, sh, dw, dh, 1, filter, TRounding::NearestEven,
        [&source](int y, uint8_t*) { return source.ScanLine(y); },
        [&dest, dw](int y, const uint8_t* row) { std::memcpy(dest.ScanLine(y), row, size_t(dw)); }, nullptr);
    dest.UpdateBoxFromPixels();
  } catch (const std::bad_alloc&) {
  }
}

namespace {
const char* const kFilterNames[] = {"none",     "triangle", "hermite", "bell",   "bspline",
                                    "lanczos3", "mitchell", "nearest", "linear", "fastlinear"};
}  // namespace

const char* ResampleFilterName(TResampleFilter filter) {
  return filter >= rfNone && filter <= rfFastLinear ? kFilterNames[filter] : "";
}

bool ResampleFilterByName(const std::string& name, TResampleFilter& filter) {
  for (int i = rfNone; i <= rfFastLinear; ++i)
    if (name == kFilterNames[i]) {
      filter = TResampleFilter(i);
      return true;
    }
  return false;
}

}  // namespace velora

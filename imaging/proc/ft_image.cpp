#include "ft_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "color_adjust.h"

namespace velora {

namespace {

// The butterfly of every stage: (u, v) → (u + w v, u − w v), products in single precision,
// the complex product written out as (wr vr − wi vi, wr vi + wi vr). The lanes are
// independent transforms, so the vector code does exactly what a scalar loop would.
template <int W>
void ButterflyRows(float* __restrict ur, float* __restrict ui, float* __restrict vr, float* __restrict vi,
                   float wr, float wi) {
  for (int t = 0; t < W; ++t) {
    const float xr = wr * vr[t] - wi * vi[t];
    const float xi = wr * vi[t] + wi * vr[t];
    vr[t] = ur[t] - xr;
    vi[t] = ui[t] - xi;
    ur[t] = ur[t] + xr;
    ui[t] = ui[t] + xi;
  }
}

template <int W>
void SwapRows(float* a, float* b) {
  float tmp[W];
  std::memcpy(tmp, a, sizeof tmp);
  std::memcpy(a, b, sizeof tmp);
  std::memcpy(b, tmp, sizeof tmp);
}

int SmallestPowerOfTwoFrom(int v) {
  int n = 1;
  while (n < v) n <<= 1;
  return n;
}

// What one batch of transforms reads from the tables.
struct TFtTables {
  int n, log2n;
  const uint32_t* reverse;
  const float* cosine;
  const float* sine;
  double scale;
};

// kFtBatch transforms of N points at once: element k of transform t is re[k·W + t],
// im[k·W + t]. Stage by stage this is the block recursion of the radix-2 transform: the
// block at depth d and offset o (size 2b, b = N / 2^d) pairs o + k with o + k + b under the
// twiddle of rev(o / b); every block of a depth only needs its parent done, so a depth at a
// time gives the same values in the same order of operations per element. Compiled twice,
// for AVX2 and for the baseline; both give the same bits (no fused multiply-add anywhere).
template <int W>
[[gnu::always_inline]] inline void TransformLanes(float* re, float* im, float direction, const TFtTables& t) {
  const int n = t.n;
  for (int depth = 1; depth <= t.log2n; ++depth) {
    const int b = n >> depth;
    for (int offset = 0; offset < n; offset += 2 * b) {
      const uint32_t r = t.reverse[offset / b];
      const float wr = t.cosine[r];
      const float wi = direction * t.sine[r];
      for (int k = offset; k < offset + b; ++k)
        ButterflyRows<W>(re + size_t(k) * W, im + size_t(k) * W, re + size_t(k + b) * W, im + size_t(k + b) * W,
                         wr, wi);
    }
  }
  for (int i = 0; i < n; ++i) {
    const int j = int(t.reverse[i]);
    if (i > j) {
      SwapRows<W>(re + size_t(i) * W, re + size_t(j) * W);
      SwapRows<W>(im + size_t(i) * W, im + size_t(j) * W);
    }
  }
  for (size_t i = 0; i < size_t(n) * W; ++i) {
    re[i] = float(re[i] * t.scale);
    im[i] = float(im[i] * t.scale);
  }
}

// Rows are transposed into their batch, so a narrow one keeps the transposition in cache;
// columns are copied in as they lie, and a wider batch means fewer trips down the rows.
constexpr int kColumnBatch = 64;

__attribute__((target_clones("avx2", "default"))) void TransformRowBatch(float* re, float* im, float direction,
                                                                        const TFtTables& t) {
  TransformLanes<kFtBatch>(re, im, direction, t);
}

__attribute__((target_clones("avx2", "default"))) void TransformColumnBatch(float* re, float* im, float direction,
                                                                           const TFtTables& t) {
  TransformLanes<kColumnBatch>(re, im, direction, t);
}

}  // namespace

TVLFtImage::~TVLFtImage() = default;

void TVLFtImage::FreePlanes() {
  for (TPlane& p : planes_) {
    p.block.reset();
    p.rows.clear();
  }
}

// Not cleared: every caller writes the whole plane.
void TVLFtImage::AllocatePlane(TPlane& plane) {
  const size_t n = size_t(Size);
  if (plane.rows.size() == n) return;
  plane.block.reset();
  plane.rows.clear();
  plane.block.reset(new float[n * n * 2]);
  plane.rows.resize(n);
  for (size_t y = 0; y < n; ++y) plane.rows[y] = plane.block.get() + y * n * 2;
}

void TVLFtImage::BuildTables(int n) {
  if (n == tableSize_) return;
  log2N_ = int(std::trunc(std::log(double(n)) / std::log(2.0) + 0.5));
  sine_.resize(size_t(n));
  reverse_.resize(size_t(n));
  stage_.resize(size_t(log2N_) + 1);
  twiddleCos_.resize(size_t(n));
  twiddleSin_.resize(size_t(n));
  for (int i = 0; i < n; ++i) {
    sine_[size_t(i)] = std::sin(2 * M_PI * i / n);
    uint32_t r = 0;
    for (int b = 0; b < log2N_; ++b)
      if (i & (1 << b)) r |= 1u << (log2N_ - 1 - b);
    reverse_[size_t(i)] = r;
  }
  for (int k = 0; k <= log2N_; ++k) stage_[size_t(k)] = 1u << k;
  for (int i = 0; i < n; ++i) {
    twiddleSin_[size_t(i)] = float(sine_[size_t(i)]);
    twiddleCos_[size_t(i)] = float(sine_[size_t((i + n / 4) % n)]);
  }
  scale_ = 1 / std::sqrt(double(n));
  tableSize_ = n;
}

void TVLFtImage::ReportColumn(int column, int planesDone) const {
  if (!OnProgress) return;
  const double q = 100.0 / (PlaneCount() * Size);
  const int per = int(std::trunc(column * q + planesDone * Size * q));
  OnProgress(const_cast<TVLFtImage*>(this), std::clamp(per, 0, 100));
}

// Rows, then columns. Each batch is gathered into a block of N × kFtBatch (rows transposed
// into it, columns copied as they lie) and scattered back; a last batch with fewer than
// kFtBatch members (N < kFtBatch) is padded with zero transforms that are dropped.
void TVLFtImage::Transform2D(TPlane& plane, float direction, int planesDone) {
  const int n = Size;
  const TFtTables tables{n, log2N_, reverse_.data(), twiddleCos_.data(), twiddleSin_.data(), scale_};
  {
    constexpr int W = kFtBatch;
    std::vector<float> re(size_t(n) * W), im(size_t(n) * W);
    for (int y0 = 0; y0 < n; y0 += W) {
      const int count = std::min(W, n - y0);
      if (count < W) {  // lanes without a row stay zero
        std::fill(re.begin(), re.end(), 0.0f);
        std::fill(im.begin(), im.end(), 0.0f);
      }
      // Transposed in tiles of W × W, which stay in the first-level cache.
      for (int k0 = 0; k0 < n; k0 += W)
        for (int t = 0; t < count; ++t) {
          const float* row = plane.rows[size_t(y0 + t)];
          for (int k = k0; k < std::min(k0 + W, n); ++k) {
            re[size_t(k) * W + size_t(t)] = row[k];
            im[size_t(k) * W + size_t(t)] = row[n + k];
          }
        }
      TransformRowBatch(re.data(), im.data(), direction, tables);
      for (int k0 = 0; k0 < n; k0 += W)
        for (int t = 0; t < count; ++t) {
          float* row = plane.rows[size_t(y0 + t)];
          for (int k = k0; k < std::min(k0 + W, n); ++k) {
            row[k] = re[size_t(k) * W + size_t(t)];
            row[n + k] = im[size_t(k) * W + size_t(t)];
          }
        }
    }
  }
  constexpr int W = kColumnBatch;
  std::vector<float> re(size_t(n) * W), im(size_t(n) * W);
  for (int x0 = 0; x0 < n; x0 += W) {
    const int count = std::min(W, n - x0);
    const size_t bytes = size_t(count) * sizeof(float);
    if (count < W) {
      std::fill(re.begin(), re.end(), 0.0f);
      std::fill(im.begin(), im.end(), 0.0f);
    }
    for (int k = 0; k < n; ++k) {
      std::memcpy(&re[size_t(k) * W], plane.rows[size_t(k)] + x0, bytes);
      std::memcpy(&im[size_t(k) * W], plane.rows[size_t(k)] + n + x0, bytes);
    }
    TransformColumnBatch(re.data(), im.data(), direction, tables);
    for (int k = 0; k < n; ++k) {
      std::memcpy(plane.rows[size_t(k)] + x0, &re[size_t(k) * W], bytes);
      std::memcpy(plane.rows[size_t(k)] + n + x0, &im[size_t(k) * W], bytes);
    }
    for (int j = x0; j < x0 + count; ++j) ReportColumn(j, planesDone);
  }
}

void TVLFtImage::BuildFromBitmap(const TBitmap& bitmap, uint8_t mode) {
  Mode = kModeEmpty;
  SourceWidth = bitmap.Width();
  SourceHeight = bitmap.Height();
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit || bitmap.Empty() ||
      (mode != kModeColour && mode != kModeGray)) {
    FreePlanes();
    return;
  }
  const int n = SmallestPowerOfTwoFrom(std::max(SourceWidth, SourceHeight));
  if (int64_t(n) * n > MaxPixels) {
    FreePlanes();
    return;
  }
  Size = n;
  OffsetX = (n - SourceWidth) / 2;
  OffsetY = (n - SourceHeight) / 2;
  Mode = mode;
  try {
    BuildTables(n);
    // Planes of the same size are kept from the last build: clearing and faulting in a fresh
    // block would cost more than the transform itself.
    for (int p = 0; p < 4; ++p) {
      const bool used = mode == kModeGray ? p == kGray : p != kGray;
      if (used)
        AllocatePlane(planes_[p]);
      else
        planes_[p] = TPlane{};
    }
    for (int i = 0; i < PlaneCount(); ++i) {
      LoadPlane(bitmap, i);
      Transform2D(planes_[PlaneIndex(i)], -1.0f, i);
    }
  } catch (const std::bad_alloc&) {
    FreePlanes();
    Mode = kModeEmpty;
  }
}

// The channel (byte 2 red, 1 green, 0 blue) or the gray value, the square around the image
// black and every imaginary part 0; then normalised by the largest value and centred.
void TVLFtImage::LoadPlane(const TBitmap& bitmap, int i) {
  TPlane& plane = planes_[PlaneIndex(i)];
  const int n = Size;
  int largest = 1;
  for (int y = 0; y < n; ++y) {
    float* row = plane.rows[size_t(y)];
    std::fill(row, row + 2 * n, 0.0f);
    if (y < OffsetY || y >= OffsetY + SourceHeight) continue;
    const uint8_t* p = bitmap.ScanLine(y - OffsetY);
    for (int x = 0; x < SourceWidth; ++x, p += 3) {
      const int v = Mode == kModeGray ? GrayOf(p[2], p[1], p[0]) : p[2 - i];
      row[OffsetX + x] = float(v);
      largest = std::max(largest, v);
    }
  }
  const float m = float(largest);
  for (int y = 0; y < n; ++y) {
    float* row = plane.rows[size_t(y)];
    for (int x = 0; x < n; ++x) {
      row[x] = row[x] / m;
      if ((x + y) & 1) row[x] = -row[x];
    }
  }
}

// Plane i's value, truncated to a level, into its channel (2 − i: red, green, blue), or into
// all three for the gray plane.
void TVLFtImage::PutLevel(uint8_t* pixel, int i, double value) const {
  const uint8_t level = uint8_t(std::clamp(int(std::trunc(value)), 0, 255));
  if (Mode == kModeGray)
    pixel[0] = pixel[1] = pixel[2] = level;
  else
    pixel[2 - i] = level;
}

// Both writers build the picture apart and hand it over only when it is complete, so that
// running out of memory leaves the target as it was.
void TVLFtImage::WriteSpectrum(TBitmap& target) {
  if (Mode == kModeEmpty) return;
  try {
    TBitmap bitmap(Size, Size, TPixelFormat::pf24bit);
    SpectrumInto(bitmap);
    target.Assign(bitmap);
  } catch (const std::bad_alloc&) {
  }
}

void TVLFtImage::SpectrumInto(TBitmap& bitmap) const {
  const int n = Size;
  std::vector<float> v(size_t(n) * n);
  for (int i = 0; i < PlaneCount(); ++i) {
    const TPlane& plane = planes_[PlaneIndex(i)];
    for (int y = 0; y < n; ++y) {
      const float* row = plane.rows[size_t(y)];
      for (int x = 0; x < n; ++x) {
        const float mag = std::sqrt(row[x] * row[x] + row[n + x] * row[n + x]);
        v[size_t(y) * n + size_t(x)] = mag == 0 ? 0.0f : float(std::log(std::sqrt(double(mag))));
      }
    }
    const auto [low, high] = std::minmax_element(v.begin(), v.end());
    float a = *low;
    const float b = *high;
    if (a >= -1e-5f && a <= 1e-5f) a = 0;
    const double scale = b == a ? 0.0 : 255.0 / (double(b) - double(a));
    for (int y = 0; y < n; ++y) {
      uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < n; ++x, out += 3) {
        const double s = (double(v[size_t(y) * n + size_t(x)]) - a) * scale;
        PutLevel(out, i, s);
      }
    }
  }
}

void TVLFtImage::WriteInverse(TBitmap& target) {
  if (Mode == kModeEmpty) return;
  try {
    TBitmap bitmap(SourceWidth, SourceHeight, TPixelFormat::pf24bit);
    InverseInto(bitmap);
    target.Assign(bitmap);
  } catch (const std::bad_alloc&) {
  }
}

void TVLFtImage::InverseInto(TBitmap& bitmap) {
  const int n = Size;
  TPlane copy;
  AllocatePlane(copy);
  for (int i = 0; i < PlaneCount(); ++i) {
    const TPlane& plane = planes_[PlaneIndex(i)];
    for (int y = 0; y < n; ++y) std::memcpy(copy.rows[size_t(y)], plane.rows[size_t(y)], size_t(n) * 2 * sizeof(float));
    Transform2D(copy, 1.0f, i);
    // The absolute value also undoes the centring signs.
    float c = std::fabs(copy.rows[0][0]), e = c;
    for (int y = 0; y < n; ++y) {
      float* row = copy.rows[size_t(y)];
      for (int x = 0; x < n; ++x) {
        row[x] = std::fabs(row[x]);
        c = std::min(c, row[x]);
        e = std::max(e, row[x]);
      }
    }
    const double scale = e == c ? 0.0 : 255.0 / (double(e) - double(c));
    for (int y = 0; y < SourceHeight; ++y) {
      const float* row = copy.rows[size_t(y + OffsetY)] + OffsetX;
      uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < SourceWidth; ++x, out += 3) {
        const double value = (double(row[x]) - c) * scale;
        PutLevel(out, i, value);
      }
    }
  }
}

void TVLFtImage::ClearRegion(int x0, int y0, int x1, int y1) {
  if (Mode == kModeEmpty) return;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, Size - 1);
  y1 = std::min(y1, Size - 1);
  if (x1 < x0) return;
  for (int i = 0; i < PlaneCount(); ++i) {
    TPlane& plane = planes_[PlaneIndex(i)];
    for (int y = y0; y <= y1; ++y) {
      float* row = plane.rows[size_t(y)];
      std::fill(row + x0, row + x1 + 1, 0.0f);
      std::fill(row + Size + x0, row + Size + x1 + 1, 0.0f);
    }
  }
}

void TVLFtImage::AssignFrom(const TVLFtImage& other) {
  if (&other == this) return;
  FreePlanes();
  Mode = kModeEmpty;
  sine_ = other.sine_;
  reverse_ = other.reverse_;
  stage_ = other.stage_;
  twiddleCos_ = other.twiddleCos_;
  twiddleSin_ = other.twiddleSin_;
  tableSize_ = other.tableSize_;
  log2N_ = other.log2N_;
  scale_ = other.scale_;
  Size = other.Size;
  OffsetX = other.OffsetX;
  OffsetY = other.OffsetY;
  SourceWidth = other.SourceWidth;
  SourceHeight = other.SourceHeight;
  OnProgress = other.OnProgress;
  MaxPixels = other.MaxPixels;
  try {
    for (int p = 0; p < 4; ++p) {
      if (other.planes_[p].rows.empty()) continue;
      AllocatePlane(planes_[p]);
      for (int y = 0; y < Size; ++y)
        std::memcpy(planes_[p].rows[size_t(y)], other.planes_[p].rows[size_t(y)], size_t(Size) * 2 * sizeof(float));
    }
  } catch (const std::bad_alloc&) {
    FreePlanes();
    return;
  }
  Mode = other.Mode;
}

}  // namespace velora

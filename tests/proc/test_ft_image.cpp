// The frequency-domain image: held bit for bit against a plain scalar version of the radix-2
// recursion, and through the spectrum and the inverse on small pictures.
#include "proc/ft_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace velora;

namespace {

// The transform as stated, one 1-D transform at a time: butterflies recursively over blocks,
// the bit-reversal permutation, the 1/√N scale; rows, then columns gathered one by one.
class TScalarFft {
 public:
  explicit TScalarFft(int n) : n_(n), sine_(size_t(n)), rev_(size_t(n)) {
    log2n_ = int(std::trunc(std::log(double(n)) / std::log(2.0) + 0.5));
    for (int i = 0; i < n; ++i) {
      sine_[size_t(i)] = std::sin(2 * M_PI * i / n);
      int r = 0;
      for (int b = 0; b < log2n_; ++b) r = (r << 1) | ((i >> b) & 1);
      rev_[size_t(i)] = r;
    }
    scale_ = 1 / std::sqrt(double(n));
  }

  // plane: n rows of 2n floats
  void Transform2D(std::vector<std::vector<float>>& plane, float d) const {
    for (auto& row : plane) Transform1D(row.data(), d);
    std::vector<float> column(size_t(2 * n_));
    for (int j = 0; j < n_; ++j) {
      for (int k = 0; k < n_; ++k) {
        column[size_t(k)] = plane[size_t(k)][size_t(j)];
        column[size_t(n_ + k)] = plane[size_t(k)][size_t(n_ + j)];
      }
      Transform1D(column.data(), d);
      for (int k = 0; k < n_; ++k) {
        plane[size_t(k)][size_t(j)] = column[size_t(k)];
        plane[size_t(k)][size_t(n_ + j)] = column[size_t(n_ + k)];
      }
    }
  }

 private:
  void Transform1D(float* x, float d) const {
    if (log2n_ > 0) Butterflies(x, d, 1, 0);
    for (int i = 0; i < n_; ++i) {
      const int r = rev_[size_t(i)];
      if (i >= r) {
        std::swap(x[i], x[r]);
        std::swap(x[n_ + i], x[n_ + r]);
      }
    }
    for (int i = 0; i < 2 * n_; ++i) x[i] = float(x[i] * scale_);
  }
  void Butterflies(float* x, float d, int depth, int offset) const {
    const int b = 1 << (log2n_ - depth);
    const int r = rev_[size_t(offset / b)];
    const float wr = float(sine_[size_t((r + n_ / 4) % n_)]);
    const float wi = d * float(sine_[size_t(r)]);
    for (int k = 0; k < b; ++k) {
      float* ur = x + offset + k;
      float* vr = x + offset + k + b;
      float* ui = ur + n_;
      float* vi = vr + n_;
      const float tr = wr * *vr - wi * *vi;
      const float ti = wr * *vi + wi * *vr;
      const float u0 = *ur, u1 = *ui;
      *ur = u0 + tr;
      *ui = u1 + ti;
      *vr = u0 - tr;
      *vi = u1 - ti;
    }
    if (depth < log2n_) {
      Butterflies(x, d, depth + 1, offset);
      Butterflies(x, d, depth + 1, offset + b);
    }
  }

  int n_, log2n_ = 0;
  std::vector<double> sine_;
  std::vector<int> rev_;
  double scale_ = 1;
};

void Varied(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 255 / std::max(w - 1, 1));
      p[1] = uint8_t((x * 17 + y * 31 + x * y) % 256);
      p[2] = uint8_t(y * 255 / std::max(h - 1, 1));
    }
}

// The reference's plane of channel `c` (2 red, 1 green, 0 blue; −1 gray), loaded as stated.
std::vector<std::vector<float>> ReferencePlane(const TBitmap& b, int c, int n) {
  std::vector<std::vector<float>> plane(size_t(n), std::vector<float>(size_t(2 * n), 0.0f));
  const int ox = (n - b.Width()) / 2, oy = (n - b.Height()) / 2;
  int m = 1;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const uint8_t* p = b.ScanLine(y) + 3 * x;
      const int v = c < 0 ? (21 * p[2] + 71 * p[1] + 7 * p[0]) / 100 : p[c];
      plane[size_t(y + oy)][size_t(x + ox)] = float(v);
      m = std::max(m, v);
    }
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float& v = plane[size_t(y)][size_t(x)];
      v = v / float(m);
      if ((x + y) % 2) v = -v;
    }
  return plane;
}

bool PlaneEquals(const TVLFtImage& ft, int plane, const std::vector<std::vector<float>>& want) {
  for (int y = 0; y < ft.Size; ++y)
    if (std::memcmp(ft.Row(plane, y), want[size_t(y)].data(), size_t(2 * ft.Size) * sizeof(float))) return false;
  return true;
}

std::vector<float> Snapshot(const TVLFtImage& ft, int plane) {
  std::vector<float> all;
  for (int y = 0; y < ft.Size; ++y) all.insert(all.end(), ft.Row(plane, y), ft.Row(plane, y) + 2 * ft.Size);
  return all;
}

bool AllBlack(const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int i = 0; i < b.Width() * 3; ++i)
      if (b.ScanLine(y)[i]) return false;
  return true;
}

}  // namespace

TEST(FtImage, BitIdenticalToTheScalarRecursion) {
  struct {
    int w, h;
    uint8_t mode;
    int n;
  } const kCases[] = {
      {128, 64, TVLFtImage::kModeColour, 128},
      {5, 3, TVLFtImage::kModeGray, 8},      // fewer rows than a batch
      {300, 200, TVLFtImage::kModeGray, 512},  // odd log2 N: 1/√N is not a power of two
      {2, 2, TVLFtImage::kModeColour, 2},
      {33, 40, TVLFtImage::kModeColour, 64},
  };
  for (const auto& c : kCases) {
    TBitmap b;
    Varied(b, c.w, c.h);
    TVLFtImage ft;
    ft.BuildFromBitmap(b, c.mode);
    ASSERT_EQ(ft.Size, c.n);
    ASSERT_EQ(ft.Mode, c.mode);
    const TScalarFft ref(c.n);
    for (int p = 0; p < (c.mode == TVLFtImage::kModeColour ? 3 : 1); ++p) {
      auto want = ReferencePlane(b, c.mode == TVLFtImage::kModeColour ? 2 - p : -1, c.n);
      ref.Transform2D(want, -1.0f);
      EXPECT_TRUE(PlaneEquals(ft, c.mode == TVLFtImage::kModeColour ? p : TVLFtImage::kGray, want))
          << c.w << "x" << c.h << " plane " << p;
    }
  }
}

TEST(FtImage, GeometryAndRoundTrip) {
  TBitmap b;
  Varied(b, 128, 64);
  TVLFtImage ft;
  ft.BuildFromBitmap(b, TVLFtImage::kModeColour);
  EXPECT_EQ(ft.Size, 128);
  EXPECT_EQ(ft.OffsetX, 0);
  EXPECT_EQ(ft.OffsetY, 32);
  TBitmap spectrum, back;
  ft.WriteSpectrum(spectrum);
  EXPECT_EQ(spectrum.Width(), 128);
  EXPECT_EQ(spectrum.Height(), 128);
  ft.WriteInverse(back);
  ASSERT_EQ(back.Width(), 128);
  ASSERT_EQ(back.Height(), 64);
  // Every channel reaches 255 and the padding is 0, so the stretch is the identity up to
  // the truncation of values a hair below a whole number.
  int worst = 0;
  for (int y = 0; y < 64; ++y)
    for (int i = 0; i < 128 * 3; ++i) worst = std::max(worst, std::abs(back.ScanLine(y)[i] - b.ScanLine(y)[i]));
  EXPECT_LE(worst, 1);
}

TEST(FtImage, FlatImageHasOnePointAtTheCentreAndClearingAllMakesBlack) {
  TBitmap flat(32, 32, TPixelFormat::pf24bit);
  for (int y = 0; y < 32; ++y) std::memset(flat.ScanLine(y), 123, 32 * 3);
  TVLFtImage ft;
  ft.BuildFromBitmap(flat, TVLFtImage::kModeGray);
  TBitmap spectrum;
  ft.WriteSpectrum(spectrum);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      EXPECT_EQ(spectrum.ScanLine(y)[3 * x + 1], x == 16 && y == 16 ? 255 : 0) << x << "," << y;
  // The flat inverse is black: its minimum and maximum coincide.
  TBitmap back;
  ft.WriteInverse(back);
  EXPECT_TRUE(AllBlack(back));

  TBitmap b;
  Varied(b, 20, 12);
  ft.BuildFromBitmap(b, TVLFtImage::kModeColour);
  ft.ClearRegion(-5, -5, 1000, 1000);  // cut to the square
  ft.WriteInverse(back);
  EXPECT_EQ(back.Width(), 20);
  EXPECT_TRUE(AllBlack(back));
}

TEST(FtImage, ClearRegionTakesEndsAndIgnoresReversedRanges) {
  TBitmap b;
  Varied(b, 16, 16);
  TVLFtImage ft;
  ft.BuildFromBitmap(b, TVLFtImage::kModeGray);
  const std::vector<float> before = Snapshot(ft, TVLFtImage::kGray);
  ft.ClearRegion(5, 2, 4, 9);  // x1 < x0
  EXPECT_EQ(Snapshot(ft, TVLFtImage::kGray), before);
  ft.ClearRegion(3, 2, 4, 3);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool cleared = x >= 3 && x <= 4 && y >= 2 && y <= 3;
      const size_t i = size_t(y) * 32;
      const bool zero = ft.Row(TVLFtImage::kGray, y)[x] == 0 && ft.Row(TVLFtImage::kGray, y)[16 + x] == 0;
      if (cleared) EXPECT_TRUE(zero) << x << "," << y;
      else EXPECT_EQ(ft.Row(TVLFtImage::kGray, y)[x], before[i + size_t(x)]) << x << "," << y;
    }
}

TEST(FtImage, AssignFromIsADeepCopy) {
  TBitmap b;
  Varied(b, 24, 30);
  TVLFtImage ft, copy;
  int reports = 0;
  ft.OnProgress = [&](TVLObject*, int) { ++reports; };
  ft.BuildFromBitmap(b, TVLFtImage::kModeColour);
  const std::vector<float> green = Snapshot(ft, TVLFtImage::kGreen);
  copy.AssignFrom(ft);
  EXPECT_EQ(copy.Size, 32);
  EXPECT_EQ(copy.OffsetX, 4);
  EXPECT_EQ(copy.OffsetY, 1);
  EXPECT_EQ(copy.SourceWidth, 24);
  EXPECT_EQ(copy.Mode, TVLFtImage::kModeColour);
  EXPECT_EQ(Snapshot(copy, TVLFtImage::kGreen), green);
  copy.ClearRegion(0, 0, 31, 31);
  EXPECT_EQ(Snapshot(ft, TVLFtImage::kGreen), green);
  reports = 0;
  TBitmap back;
  copy.WriteInverse(back);  // the callback came along
  EXPECT_EQ(reports, 3 * 32);
  EXPECT_TRUE(AllBlack(back));
  ft.WriteInverse(back);
  EXPECT_FALSE(AllBlack(back));
}

TEST(FtImage, OnePixelIsTheIdentity) {
  TBitmap one(1, 1, TPixelFormat::pf24bit);
  one.ScanLine(0)[2] = 200;
  TVLFtImage ft;
  ft.BuildFromBitmap(one, TVLFtImage::kModeColour);
  ASSERT_EQ(ft.Size, 1);
  EXPECT_EQ(ft.Row(TVLFtImage::kRed, 0)[0], 1.0f);  // 200 / 200
  EXPECT_EQ(ft.Row(TVLFtImage::kRed, 0)[1], 0.0f);
  EXPECT_EQ(ft.Row(TVLFtImage::kGreen, 0)[0], 0.0f);
  TBitmap out;
  ft.WriteSpectrum(out);
  EXPECT_EQ(out.Width(), 1);
  ft.WriteInverse(out);
  EXPECT_EQ(out.Width(), 1);
  EXPECT_TRUE(AllBlack(out));  // one value: minimum and maximum coincide
}

TEST(FtImage, RefusedInputLeavesTheObjectEmptyAndTheWritersIdle) {
  TBitmap mono(8, 8, TPixelFormat::pf1bit), empty, big;
  Varied(big, 20, 20);
  struct {
    const char* what;
    const TBitmap* source;
    int64_t maxPixels;
  } const kCases[] = {
      {"1-bit", &mono, int64_t(1) << 28},
      {"empty", &empty, int64_t(1) << 28},
      {"square over the pixel limit", &big, 32 * 32 - 1},
  };
  for (const auto& c : kCases) {
    TVLFtImage ft;
    ft.MaxPixels = c.maxPixels;
    ft.BuildFromBitmap(*c.source, TVLFtImage::kModeColour);
    EXPECT_EQ(ft.Mode, TVLFtImage::kModeEmpty) << c.what;
    TBitmap target;
    Varied(target, 3, 2);
    ft.WriteSpectrum(target);
    ft.WriteInverse(target);
    ft.ClearRegion(0, 0, 5, 5);
    EXPECT_EQ(target.Width(), 3) << c.what;
    EXPECT_EQ(target.ScanLine(1)[5], 255) << c.what;
  }
}

TEST(FtImage, ProgressRunsThroughEveryColumnOfEveryPlane) {
  TBitmap b;
  Varied(b, 40, 20);
  TVLFtImage ft;
  std::vector<int> seen;
  TVLObject* sender = nullptr;
  ft.OnProgress = [&](TVLObject* s, int per) {
    seen.push_back(per);
    sender = s;
  };
  ft.BuildFromBitmap(b, TVLFtImage::kModeColour);
  ASSERT_EQ(seen.size(), 3u * 64);
  EXPECT_EQ(sender, &ft);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen[64], 33);  // the second plane starts at 64 × q, q = 100 / 192
  EXPECT_EQ(seen.back(), 99);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "resample_reference.h"
#include "proc/resample.h"
#include "proc/resample_private.h"

using namespace velora;

namespace {

std::vector<uint8_t> Plane24(const TBitmap& b) {
  std::vector<uint8_t> v(size_t(b.Width()) * b.Height() * 3);
  for (int y = 0; y < b.Height(); ++y) std::memcpy(&v[size_t(y) * b.Width() * 3], b.ScanLine(y), size_t(b.Width()) * 3);
  return v;
}

void Random24(TBitmap& b, int w, int h, std::mt19937& rng) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.ScanLine(y)[x] = uint8_t(rng());
}

void Random1(TBitmap& b, int w, int h, std::mt19937& rng) {
  b.Reset(w, h, TPixelFormat::pf1bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < b.RowLen(); ++x) b.ScanLine(y)[x] = uint8_t(rng());
}

std::vector<uint8_t> Bits1AsGrey(const TBitmap& b) {
  std::vector<uint8_t> v(size_t(b.Width()) * b.Height());
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) v[size_t(y) * b.Width() + x] = (b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
  return v;
}

const TResampleFilter kKernels[] = {rfTriangle, rfHermite, rfBell,    rfBSpline,
                                    rfLanczos3, rfMitchell, rfNearest, rfLinear};

struct Size {
  int sw, sh, dw, dh;
};
// Enlarging, reducing, mixed, tiny, odd widths (SIMD tails), sources shorter than a kernel.
const Size kSizes[] = {{37, 23, 91, 17}, {120, 80, 31, 29}, {2, 1, 9, 3}, {1, 2, 4, 7},   {64, 3, 17, 40},
                       {5, 5, 5, 5},     {250, 7, 3, 2},    {3, 250, 1, 33}, {19, 41, 19, 80}};

}  // namespace

TEST(ResampleExact, BitmapMatchesPlainArithmeticForEveryKernel) {
  std::mt19937 rng(7);
  for (auto f : kKernels)
    for (const Size& s : kSizes) {
      TBitmap src, dst(s.dw, s.dh, TPixelFormat::pf24bit);
      Random24(src, s.sw, s.sh, rng);
      ResampleBitmap(src, dst, f);
      ASSERT_EQ(dst.BitCount(), 24);
      EXPECT_EQ(Plane24(dst), reference::TwoPass(Plane24(src), s.sw, s.sh, 3, s.dw, s.dh, f, false))
          << "filter " << f << " " << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
    }
}

TEST(ResampleExact, OneBitAndMaskRoundToNearestEven) {
  std::mt19937 rng(11);
  for (auto f : kKernels)
    for (const Size& s : kSizes) {
      TBitmap src, dst(s.dw, s.dh, TPixelFormat::pf24bit);
      Random1(src, s.sw, s.sh, rng);
      ResampleBitmap1Bit(src, dst, f);
      auto want = reference::TwoPass(Bits1AsGrey(src), s.sw, s.sh, 1, s.dw, s.dh, f, true);
      auto got = Plane24(dst);
      for (size_t i = 0; i < want.size(); ++i)
        ASSERT_TRUE(got[3 * i] == want[i] && got[3 * i + 1] == want[i] && got[3 * i + 2] == want[i])
            << "filter " << f << " pixel " << i;

      TVLMask ms, md;
      ms.Allocate(s.sw, s.sh, 8);
      std::vector<uint8_t> plane(size_t(s.sw) * s.sh);
      for (int y = 0; y < s.sh; ++y)
        for (int x = 0; x < s.sw; ++x) ms.SetPixel(x, y, plane[size_t(y) * s.sw + x] = uint8_t(rng()));
      md.Allocate(s.dw, s.dh, 8);
      ResampleMask(ms, md, f);
      std::vector<uint8_t> mgot(size_t(s.dw) * s.dh);
      for (int y = 0; y < s.dh; ++y) std::memcpy(&mgot[size_t(y) * s.dw], md.ScanLine(y), size_t(s.dw));
      EXPECT_EQ(mgot, reference::TwoPass(plane, s.sw, s.sh, 1, s.dw, s.dh, f, true)) << "mask filter " << f;
    }
}

TEST(ResampleExact, LargeRandomSizesInParallelBands) {
  // Big enough for several row bands on every core and the full vector paths.
  std::mt19937 rng(3);
  for (int n = 0; n < 4; ++n) {
    // The first is above the size where threads start; the others fall on either side.
    Size s = n == 0 ? Size{720, 400, 530, 310}
                    : Size{int(100 + rng() % 400), int(50 + rng() % 300), int(20 + rng() % 500), int(20 + rng() % 300)};
    TBitmap src, dst(s.dw, s.dh, TPixelFormat::pf24bit);
    Random24(src, s.sw, s.sh, rng);
    ResampleBitmap(src, dst, rfLanczos3);
    EXPECT_EQ(Plane24(dst), reference::TwoPass(Plane24(src), s.sw, s.sh, 3, s.dw, s.dh, rfLanczos3, false));
    FastResizeBitmap(src, dst);
    EXPECT_EQ(Plane24(dst), reference::Fast(Plane24(src), s.sw, s.sh, 3, s.dw, s.dh));
  }
}

TEST(ResampleEdges, OneByOneDoesNothingOneByTwoIsResampled) {
  TBitmap src(1, 1, TPixelFormat::pf24bit), dst(4, 4, TPixelFormat::pf24bit);
  std::memset(src.ScanLine(0), 200, 3);
  std::memset(dst.Bits(), 9, size_t(dst.ImageSize()));
  ResampleBitmap(src, dst, rfTriangle);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.ScanLine(y)[5], 9);

  TBitmap tall(1, 2, TPixelFormat::pf24bit);
  std::memset(tall.ScanLine(0), 200, 3);
  std::memset(tall.ScanLine(1), 200, 3);
  ResampleBitmap(tall, dst, rfTriangle);
  EXPECT_EQ(dst.ScanLine(0)[0], 200);
}

TEST(ResampleEdges, Lanczos3MirrorsTheEdges) {
  auto c = resample_detail::BuildContributors(rfLanczos3, 4, 16);
  // Column 1 (centre 0.25): j = -2 .. 3, the negative ones mirrored.
  std::vector<int> col1(c.index.begin() + c.start[1], c.index.begin() + c.start[2]);
  EXPECT_EQ(col1, (std::vector<int>{2, 1, 0, 1, 2, 3}));
  // Column 15 (centre 3.75): j = 1 .. 6, indices 4, 5, 6 mirrored to 3, 2, 1.
  std::vector<int> col15(c.index.begin() + c.start[15], c.index.begin() + c.start[16]);
  EXPECT_EQ(col15, (std::vector<int>{1, 2, 3, 3, 2, 1}));
  // Column 0 sits on a sample: weight 1 there, sinc (nearly) vanishes at the other integers.
  for (int k = c.start[0]; k < c.start[1]; ++k)
    EXPECT_NEAR(c.weight[k], c.index[k] == 0 && k == c.start[0] + 2 ? 1.0 : 0.0, 1e-15);
}

TEST(ResampleEdges, TruncationAgainstRounding) {
  using resample_detail::ToByte;
  using resample_detail::TRounding;
  EXPECT_EQ(ToByte(255.7, TRounding::Truncate), 255);
  EXPECT_EQ(ToByte(255.7, TRounding::NearestEven), 255);
  EXPECT_EQ(ToByte(127.5, TRounding::Truncate), 127);
  EXPECT_EQ(ToByte(127.5, TRounding::NearestEven), 128);
  EXPECT_EQ(ToByte(126.5, TRounding::NearestEven), 126);
  EXPECT_EQ(ToByte(-0.3, TRounding::Truncate), 0);
  EXPECT_EQ(ToByte(-40, TRounding::NearestEven), 0);

  // End to end: the triangle half-way between 0 and 255 is 127.5.
  TBitmap src(2, 1, TPixelFormat::pf24bit), dst(4, 1, TPixelFormat::pf24bit);
  std::memset(src.ScanLine(0) + 3, 255, 3);
  ResampleBitmap(src, dst, rfTriangle);
  EXPECT_EQ(dst.ScanLine(0)[3], 127);
  TBitmap mono(2, 1, TPixelFormat::pf1bit);
  mono.ScanLine(0)[0] = 0x40;
  ResampleBitmap1Bit(mono, dst, rfTriangle);
  EXPECT_EQ(dst.ScanLine(0)[3], 128);

  // Lanczos overshoot and undershoot at a hard edge clamp instead of wrapping.
  TBitmap edge(8, 2, TPixelFormat::pf24bit), big(40, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y) std::memset(edge.ScanLine(y), 255, 12);
  ResampleBitmap(edge, big, rfLanczos3);
  auto cx = reference::Contributors(rfLanczos3, 8, 40);
  bool sawHigh = false, sawLow = false;
  for (int i = 0; i < 40; ++i) {
    double s = 0;
    for (size_t k = 0; k < cx[i].j.size(); ++k) s += cx[i].w[k] * (cx[i].j[k] < 4 ? 255 : 0);
    if (s > 255) {
      sawHigh = true;
      EXPECT_EQ(big.ScanLine(0)[3 * i], 255);
    }
    if (s < 0) {
      sawLow = true;
      EXPECT_EQ(big.ScanLine(0)[3 * i], 0);
    }
  }
  EXPECT_TRUE(sawHigh && sawLow);
}

TEST(ResampleEdges, NearestKernelAtHalfAPixel) {
  EXPECT_EQ(resample_detail::Kernel(rfNearest, 0.5), 1);
  EXPECT_EQ(resample_detail::Kernel(rfNearest, -0.5), 0);
  EXPECT_EQ(resample_detail::Kernel(rfLinear, -1.0), 0);
  EXPECT_EQ(resample_detail::Kernel(rfLanczos3, 0.0), 1);
}

TEST(FastResize, HalvingSharesOneColumnBetweenBoxes) {
  TBitmap src(100, 1, TPixelFormat::pf24bit), dst(50, 1, TPixelFormat::pf24bit);
  for (int x = 0; x < 100; ++x) std::memset(src.ScanLine(0) + 3 * x, x * 2, 3);
  FastResizeBitmap(src, dst);
  EXPECT_EQ(dst.ScanLine(0)[0], (0 + 2 + 4) / 3);      // columns 0..2
  EXPECT_EQ(dst.ScanLine(0)[3 * 1], (4 + 6 + 8) / 3);  // columns 2..4
  EXPECT_EQ(dst.ScanLine(0)[3 * 49], 196);              // column 98 alone
}

TEST(FastResize, EnlargingBlendsInSeventeenBitFixedPoint) {
  TBitmap src(2, 1, TPixelFormat::pf24bit), dst(4, 1, TPixelFormat::pf24bit);
  std::memset(src.ScanLine(0), 250, 3);
  std::memset(src.ScanLine(0) + 3, 10, 3);
  FastResizeBitmap(src, dst);
  EXPECT_EQ(dst.ScanLine(0)[3], 130);  // 250 + floor(-240 × 65536 / 131072)
  EXPECT_EQ(dst.ScanLine(0)[0], 250);
  EXPECT_EQ(dst.ScanLine(0)[9], 10);  // the last column blends with itself
}

TEST(FastResize, MatchesPlainArithmeticOnRandomSizes) {
  std::mt19937 rng(5);
  for (const Size& s : kSizes) {
    TBitmap src, dst(s.dw, s.dh, TPixelFormat::pf24bit);
    Random24(src, s.sw, s.sh, rng);
    FastResizeBitmap(src, dst);
    if (s.sw == s.dw && s.sh == s.dh) {
      EXPECT_EQ(Plane24(dst), Plane24(src));
      continue;
    }
    EXPECT_EQ(Plane24(dst), reference::Fast(Plane24(src), s.sw, s.sh, 3, s.dw, s.dh));

    TVLMask ms, md;
    ms.Allocate(s.sw, s.sh, 8);
    std::vector<uint8_t> plane(size_t(s.sw) * s.sh);
    for (size_t i = 0; i < plane.size(); ++i) ms.SetPixel(int(i % s.sw), int(i / s.sw), plane[i] = uint8_t(rng()));
    md.Allocate(s.dw, s.dh, 8);
    ResampleMask(ms, md, rfFastLinear);
    auto want = reference::Fast(plane, s.sw, s.sh, 1, s.dw, s.dh);
    for (int y = 0; y < s.dh; ++y)
      EXPECT_EQ(0, std::memcmp(md.ScanLine(y), &want[size_t(y) * s.dw], size_t(s.dw)));
  }
}

TEST(FastResize, OneBitEnlargesByBlendingAndReducesByCoverage) {
  TBitmap src(2, 2, TPixelFormat::pf1bit), dst(4, 4, TPixelFormat::pf24bit);
  src.ScanLine(0)[0] = 0x40;  // (1, 0) white
  src.ScanLine(1)[0] = 0x40;
  FastResizeBitmap1Bit(src, dst);
  EXPECT_EQ(dst.ScanLine(0)[3], 127);  // 0 + floor(255 × 65536 / 131072)
  EXPECT_EQ(dst.ScanLine(0)[6], 255);

  TBitmap big(8, 8, TPixelFormat::pf1bit), small(2, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 8; ++y) big.ScanLine(y)[0] = 0xF0;  // left half white
  FastResizeBitmap1Bit(big, small);
  EXPECT_EQ(small.ScanLine(1)[0], 255);
  EXPECT_EQ(small.ScanLine(1)[3], 0);
}

TEST(Reduce1Bit, TenByTenToFourByFour) {
  TBitmap src(10, 10, TPixelFormat::pf1bit), dst(4, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 10; ++y) std::memset(src.ScanLine(y), 0xFF, 2);
  ReduceBitmap1Bit(src, TRect{0, 0, 10, 10}, dst);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(dst.ScanLine(y)[x], 255);

  // Boxes are 2 × 2 at trunc(l × 2.5): column 0 reads x 0..1, column 1 reads x 2..3; x 4 is
  // never read. One set pixel per box quarter gives 63.
  TBitmap one(10, 10, TPixelFormat::pf1bit);
  one.ScanLine(0)[0] = 0x80;  // (0, 0)
  one.ScanLine(0)[0] |= 0x08;  // (4, 0): between boxes
  ReduceBitmap1Bit(one, TRect{0, 0, 10, 10}, dst);
  EXPECT_EQ(dst.ScanLine(0)[0], 63);
  EXPECT_EQ(dst.ScanLine(0)[3], 0);
  EXPECT_EQ(dst.ScanLine(0)[6], 0);

  // The raw-block form gives the same pixels, bottom-up.
  auto block = ReduceBits1Bit(one.Bits(), 10, 10, TRect{0, 0, 10, 10}, 4, 4);
  ASSERT_TRUE(block);
  const int64_t row = RowSize(4, 24);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(0, std::memcmp(block.get() + (3 - y) * row, dst.ScanLine(y), 12));
  EXPECT_FALSE(ReduceBits1Bit(one.Bits(), 10, 10, TRect{0, 0, 10, 10}, 0, 4));
}

TEST(Stretch, KeepsPixelFormatAndRepeatsPixels) {
  TBitmap src(2, 1, TPixelFormat::pf1bit), dst(4, 2, TPixelFormat::pf24bit);
  src.ScanLine(0)[0] = 0x40;
  StretchBitmap(src, dst);
  ASSERT_EQ(dst.BitCount(), 1);
  EXPECT_EQ(dst.ScanLine(0)[0] & 0xF0, 0x30);
  EXPECT_EQ(dst.ScanLine(1)[0] & 0xF0, 0x30);
}

TEST(ResampleProgress, RisesToTheLastColumnOfTheSecondPass) {
  TBitmap src(30, 10, TPixelFormat::pf24bit), dst(20, 40, TPixelFormat::pf24bit);
  std::vector<int> seen;
  TVLProgressRecord progress;
  progress.fOnProgress = [&](TVLObject*, int per) { seen.push_back(per); };
  ResampleBitmap(src, dst, rfBell, &progress);
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
  EXPECT_EQ(seen.back(), int((10 + 20) * 100 / (10 + 20 + 0.5)));
}

TEST(ResampleHostile, AnySizesAndRectanglesStayInsideTheBuffers) {
  // Run under the sanitizers: thin, tiny and huge-ratio sizes, rectangles partly outside.
  std::mt19937 rng(21);
  auto r = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
  for (int round = 0; round < 120; ++round) {
    const int sw = r(1, 70), sh = r(1, 70), dw = r(1, 90), dh = r(1, 90);
    TBitmap s24, s1, d(dw, dh, TPixelFormat::pf24bit);
    Random24(s24, sw, sh, rng);
    Random1(s1, sw, sh, rng);
    const TResampleFilter f = TResampleFilter(r(0, int(rfFastLinear)));
    ResampleBitmap(s24, d, f);
    ResampleBitmap1Bit(s1, d, f);
    TBitmap d1(dw, dh, TPixelFormat::pf1bit);
    StretchBitmap(s1, d1);
    const TRect rect{r(-5, sw), r(-5, sh), r(-5, sw + 5), r(-5, sh + 5)};
    ReduceBitmap1Bit(s1, rect, d);
    ReduceBits1Bit(s1.Bits(), sw, sh, rect, r(-1, 30), r(-1, 30));
    TVLMask ms, md;
    ms.Allocate(sw, sh, 8);
    md.Allocate(dw, dh, 8);
    ResampleMask(ms, md, f);
  }
}

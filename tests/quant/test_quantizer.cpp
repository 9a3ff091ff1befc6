#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quant/quant_engines.h"
#include "quant/quantizer.h"
#include "quant/photo_like.h"

using namespace velora;
using velora::testing::MakePhotoLike;

namespace {

void Fill(TBitmap& bmp, int w, int h, const std::function<TRGB(int, int)>& colourAt) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(bmp.ScanLine(y))[x] = colourAt(x, y);
}

double MeanError(const TBitmap& bmp, TVLQuantizer& q, const TRGB* palette) {
  double sum = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const TRGB c = reinterpret_cast<const TRGB*>(bmp.ScanLine(y))[x];
      const int i = q.RGBIndex(c);
      EXPECT_GE(i, 0);
      EXPECT_LT(i, q.ColorCount());
      const TRGB p = palette[i];
      sum += std::abs(p.r - c.r) + std::abs(p.g - c.g) + std::abs(p.b - c.b);
    }
  return sum / (3.0 * bmp.Width() * bmp.Height());
}

const TRGB kUntouched = MakeRGB(1, 2, 3);

}  // namespace

TEST(Quantizer, EngineChosenByColourCount) {
  TBitmap bmp;
  MakePhotoLike(bmp, 8, 8);
  std::vector<TRGB> palette(256);
  EXPECT_EQ(TVLQuantizer(bmp, 2, palette.data()).Method(), 1);
  EXPECT_EQ(TVLQuantizer(bmp, 127, palette.data()).Method(), 1);
  EXPECT_EQ(TVLQuantizer(bmp, 128, palette.data()).Method(), 0);
  EXPECT_EQ(TVLQuantizer(bmp, 256, palette.data()).Method(), 0);
}

TEST(Quantizer, SingleColourGivesOneBoxAndIndexZero) {
  TBitmap bmp;
  Fill(bmp, 7, 5, [](int, int) { return MakeRGB(100, 150, 203); });
  std::vector<TRGB> palette(16, kUntouched);
  TVarianceSplitEngine split(QuantizerSourceOf(bmp), 16, palette.data());
  EXPECT_EQ(split.ColorCount(), 1);
  EXPECT_EQ(palette[0], MakeRGB(96, 144, 200));
  EXPECT_EQ(palette[1], kUntouched);
  EXPECT_EQ(split.RGBIndex(MakeRGB(100, 150, 203)), 0);
  EXPECT_EQ(split.RGBIndex(MakeRGB(0, 255, 0)), 0);
}

TEST(Quantizer, VarianceSplitRoundsToFiveBitsAndMapsAbsentColoursToZero) {
  const TRGB colours[] = {MakeRGB(8, 16, 24), MakeRGB(200, 0, 0), MakeRGB(0, 248, 0), MakeRGB(0, 0, 248),
                          MakeRGB(128, 128, 128)};
  TBitmap bmp;
  Fill(bmp, 10, 10, [&](int x, int y) { return colours[(x + 3 * y) % 5]; });
  std::vector<TRGB> palette(16, kUntouched);
  TVarianceSplitEngine split(QuantizerSourceOf(bmp), 16, palette.data());
  EXPECT_EQ(split.ColorCount(), 5);
  for (const TRGB& c : colours) EXPECT_EQ(palette[size_t(split.RGBIndex(c))], c);
  EXPECT_EQ(palette[5], kUntouched);
  EXPECT_EQ(split.RGBIndex(MakeRGB(255, 255, 0)), 0);
  // White lands in the top cell of each axis: 31 << 3.
  TBitmap bw;
  Fill(bw, 4, 4, [](int x, int) { return x < 1 ? MakeRGB(255, 255, 255) : MakeRGB(0, 0, 0); });
  TVarianceSplitEngine two(QuantizerSourceOf(bw), 16, palette.data());
  ASSERT_EQ(two.ColorCount(), 2);
  EXPECT_EQ(palette[size_t(two.RGBIndex(MakeRGB(255, 255, 255)))], MakeRGB(248, 248, 248));
}

// Pictures with no more colours than the palette keep every colour exactly, whichever engine
// would otherwise have run; colours they lack map to the nearest entry.
TEST(Quantizer, FewerColoursThanPaletteAreKeptExactly) {
  struct TCase {
    const char* name;
    int paletteSize;
    std::function<TRGB(int, int)> colourAt;
    int colours;
  };
  const TCase cases[] = {
      {"one colour", 16, [](int, int) { return MakeRGB(100, 150, 203); }, 1},
      {"black and white", 2, [](int x, int) { return x < 1 ? MakeRGB(255, 255, 255) : MakeRGB(0, 0, 0); }, 2},
      {"five odd colours", 16, [](int x, int y) { return MakeRGB(uint8_t(7 * ((x + 3 * y) % 5) + 1), 3, 250); }, 5},
      {"grey ramp, all 256", 256, [](int x, int) { return MakeRGB(uint8_t(x), uint8_t(x), uint8_t(x)); }, 256},
      {"255 colours into 255", 255, [](int x, int y) { return MakeRGB(uint8_t((x + 256 * y) % 255), 1, 2); }, 255},
      {"127 colours, variance-split size", 127, [](int x, int y) { return MakeRGB(9, uint8_t(2 * ((x + 256 * y) % 127)), 77); }, 127},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap bmp;
    Fill(bmp, 256, 3, c.colourAt);
    std::vector<TRGB> palette(size_t(c.paletteSize) + 1, kUntouched);
    TVLQuantizer q(bmp, c.paletteSize, palette.data());
    EXPECT_TRUE(q.Exact());
    EXPECT_EQ(q.ColorCount(), c.colours);
    EXPECT_EQ(palette[size_t(c.colours)], kUntouched);
    EXPECT_EQ(DistinctColours(QuantizerSourceOf(bmp), c.paletteSize), c.colours);
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) {
        const TRGB px = reinterpret_cast<const TRGB*>(bmp.ScanLine(y))[x];
        ASSERT_EQ(palette[size_t(q.RGBIndex(px))], px);
      }
  }
  TBitmap bmp;
  Fill(bmp, 2, 1, [](int x, int) { return x ? MakeRGB(250, 250, 250) : MakeRGB(10, 0, 0); });
  std::vector<TRGB> palette(4);
  TVLQuantizer q(bmp, 4, palette.data());
  EXPECT_EQ(palette[size_t(q.RGBIndex(MakeRGB(255, 255, 255)))], MakeRGB(250, 250, 250));
  EXPECT_EQ(palette[size_t(q.RGBIndex(MakeRGB(0, 0, 0)))], MakeRGB(10, 0, 0));
}

// One colour more than the palette holds: the counting stops there and an engine runs.
TEST(Quantizer, OneColourTooManyGoesToTheEngines) {
  TBitmap bmp;
  Fill(bmp, 257, 2, [](int x, int) { return MakeRGB(uint8_t(x), uint8_t(x == 256), 0); });
  EXPECT_EQ(DistinctColours(QuantizerSourceOf(bmp), 256), 257);
  EXPECT_EQ(DistinctColours(QuantizerSourceOf(bmp), 10), 11);
  std::vector<TRGB> palette(256);
  TVLQuantizer neu(bmp, 256, palette.data());
  EXPECT_FALSE(neu.Exact());
  EXPECT_EQ(neu.Method(), 0);
  TVLQuantizer split(bmp, 16, palette.data());
  EXPECT_FALSE(split.Exact());
  EXPECT_EQ(split.Method(), 1);
}

TEST(Quantizer, EqualCostsSplitRedBeforeGreenBeforeBlue) {
  // Four equally frequent corners of a square: splitting either axis of the square costs the
  // same, and the box's two halves are told apart by which axis kept its spread.
  auto corners = [](TBitmap& bmp, int axisA, int axisB) {
    Fill(bmp, 2, 2, [=](int x, int y) {
      uint8_t c[3] = {0, 0, 0};
      c[axisA] = x ? 248 : 0;
      c[axisB] = y ? 248 : 0;
      return MakeRGB(c[0], c[1], c[2]);
    });
  };
  std::vector<TRGB> palette(2);
  TBitmap rg;
  corners(rg, 0, 1);
  TVLQuantizer q1(rg, 2, palette.data());
  EXPECT_EQ(palette[0], MakeRGB(0, 128, 0));  // red was split: green keeps the mean 15.5 → 16
  TBitmap gb;
  corners(gb, 1, 2);
  TVLQuantizer q2(gb, 2, palette.data());
  EXPECT_EQ(palette[0], MakeRGB(0, 0, 128));
}

TEST(Quantizer, NeuQuantSamplingFactor) {
  EXPECT_EQ(TNeuQuantEngine::SamplingFactor(1999), 1);
  EXPECT_EQ(TNeuQuantEngine::SamplingFactor(2000), 2);
  EXPECT_EQ(TNeuQuantEngine::SamplingFactor(150000), 15);
  EXPECT_EQ(TNeuQuantEngine::SamplingFactor(1000 * 1000), 30);
}

TEST(Quantizer, NeuQuantSpreadsOverAGreyRampAndFindsFewColours) {
  // A grey ramp of all 256 levels: the map spreads its neurons along it.
  TBitmap bmp;
  Fill(bmp, 256, 16, [](int x, int) { return MakeRGB(uint8_t(x), uint8_t(x), uint8_t(x)); });
  std::vector<TRGB> palette(256);
  TNeuQuantEngine ramp(QuantizerSourceOf(bmp), 256, palette.data());
  EXPECT_EQ(ramp.ColorCount(), 256);
  double sum = 0;
  for (int x = 0; x < 256; ++x) sum += std::abs(palette[size_t(ramp.RGBIndex(MakeRGB(uint8_t(x), uint8_t(x), uint8_t(x))))].g - x);
  EXPECT_LT(sum / 256, 0.5);

  const TRGB colours[] = {MakeRGB(255, 0, 0), MakeRGB(0, 255, 0), MakeRGB(0, 0, 255), MakeRGB(20, 20, 20)};
  Fill(bmp, 40, 40, [&](int x, int y) { return colours[(x / 10 + y / 10) % 4]; });
  TNeuQuantEngine few(QuantizerSourceOf(bmp), 256, palette.data());
  for (const TRGB& c : colours) {
    const TRGB p = palette[size_t(few.RGBIndex(c))];
    EXPECT_LT(std::abs(p.r - c.r) + std::abs(p.g - c.g) + std::abs(p.b - c.b), 6);
  }
}

TEST(Quantizer, PhotoLikeImageIsReducedWithSmallError) {
  TBitmap bmp;
  MakePhotoLike(bmp, 320, 240);
  std::vector<TRGB> palette(256);
  TVLQuantizer neu(bmp, 256, palette.data());
  const double neuError = MeanError(bmp, neu, palette.data());
  TVLQuantizer split(bmp, 64, palette.data());
  const double splitError = MeanError(bmp, split, palette.data());
  EXPECT_EQ(split.ColorCount(), 64);
  EXPECT_LT(neuError, 5.0);
  EXPECT_LT(splitError, 9.0);
  EXPECT_LT(neuError, splitError);
}

TEST(Quantizer, PaletteSourcesAndRowCallbacksAgree) {
  TBitmap bmp;
  MakePhotoLike(bmp, 30, 20);
  TVLQuantizerSource rows{bmp.Width(), bmp.Height(),
                          [&](int y) { return reinterpret_cast<const TRGB*>(bmp.ScanLine(y)); }};
  std::vector<TRGB> a(256), b(256);
  TVLQuantizer qa(bmp, 200, a.data());
  TVLQuantizer qb(rows, 200, b.data());
  EXPECT_EQ(a, b);

  TBitmap mono(10, 3, TPixelFormat::pf1bit);
  mono.ScanLine(1)[0] = 0xF0;
  std::vector<TRGB> p(16, kUntouched);
  TVLQuantizer qm(mono, 16, p.data());
  EXPECT_EQ(qm.ColorCount(), 2);
  EXPECT_EQ(p[size_t(qm.RGBIndex(MakeRGB(255, 255, 255)))], MakeRGB(255, 255, 255));
}

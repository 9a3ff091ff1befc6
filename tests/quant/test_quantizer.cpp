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
  TVLQuantizer q(bmp, 16, palette.data());
  EXPECT_EQ(q.ColorCount(), 1);
  EXPECT_EQ(palette[0], MakeRGB(96, 144, 200));
  EXPECT_EQ(palette[1], kUntouched);
  EXPECT_EQ(q.RGBIndex(MakeRGB(100, 150, 203)), 0);
  EXPECT_EQ(q.RGBIndex(MakeRGB(0, 255, 0)), 0);
}

TEST(Quantizer, FewerColoursThanPaletteAreKeptExactly) {
  const TRGB colours[] = {MakeRGB(8, 16, 24), MakeRGB(200, 0, 0), MakeRGB(0, 248, 0), MakeRGB(0, 0, 248),
                          MakeRGB(128, 128, 128)};
  TBitmap bmp;
  Fill(bmp, 10, 10, [&](int x, int y) { return colours[(x + 3 * y) % 5]; });
  std::vector<TRGB> palette(16, kUntouched);
  TVLQuantizer q(bmp, 16, palette.data());
  EXPECT_EQ(q.ColorCount(), 5);
  for (const TRGB& c : colours) EXPECT_EQ(palette[size_t(q.RGBIndex(c))], c);
  EXPECT_EQ(palette[5], kUntouched);
  // A colour far from all of them lies in no box: entry 0.
  EXPECT_EQ(q.RGBIndex(MakeRGB(255, 255, 0)), 0);
}

TEST(Quantizer, TwoColoursMapToTheirOwnEntries) {
  TBitmap bmp;
  Fill(bmp, 4, 4, [](int x, int) { return x < 1 ? MakeRGB(255, 255, 255) : MakeRGB(0, 0, 0); });
  std::vector<TRGB> palette(16);
  TVLQuantizer q(bmp, 16, palette.data());
  ASSERT_EQ(q.ColorCount(), 2);
  EXPECT_NE(q.RGBIndex(MakeRGB(255, 255, 255)), q.RGBIndex(MakeRGB(0, 0, 0)));
  EXPECT_EQ(palette[size_t(q.RGBIndex(MakeRGB(255, 255, 255)))], MakeRGB(248, 248, 248));
  EXPECT_EQ(palette[size_t(q.RGBIndex(MakeRGB(0, 0, 0)))], MakeRGB(0, 0, 0));
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

TEST(Quantizer, Exactly256ColoursWithNeuQuant) {
  // A grey ramp of all 256 levels: the map spreads its neurons along it.
  TBitmap bmp;
  Fill(bmp, 256, 16, [](int x, int) { return MakeRGB(uint8_t(x), uint8_t(x), uint8_t(x)); });
  std::vector<TRGB> palette(256);
  TVLQuantizer q(bmp, 256, palette.data());
  EXPECT_EQ(q.ColorCount(), 256);
  EXPECT_LT(MeanError(bmp, q, palette.data()), 0.5);
}

TEST(Quantizer, FewColoursWithNeuQuantAreFoundClosely) {
  const TRGB colours[] = {MakeRGB(255, 0, 0), MakeRGB(0, 255, 0), MakeRGB(0, 0, 255), MakeRGB(20, 20, 20)};
  TBitmap bmp;
  Fill(bmp, 40, 40, [&](int x, int y) { return colours[(x / 10 + y / 10) % 4]; });
  std::vector<TRGB> palette(256);
  TVLQuantizer q(bmp, 256, palette.data());
  EXPECT_LT(MeanError(bmp, q, palette.data()), 2.0);
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
  EXPECT_EQ(p[size_t(qm.RGBIndex(MakeRGB(255, 255, 255)))], MakeRGB(248, 248, 248));
}

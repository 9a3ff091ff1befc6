// The colour adjustments: the documented cases, the guards on their edges, and the
// conversions on whole ranges.
#include "proc/color_adjust.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filter_fixtures.h"

using namespace velora;
using velora::test::Varied;  // many colours: ramps and products in each channel

namespace {

TBitmap* Filled(TBitmap& b, int w, int h, TRGB c) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c;
  return &b;
}

TRGB Pixel(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }

bool Same(const TBitmap& a, const TBitmap& b) {
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(a.Width()) * 3)) return false;
  return true;
}

}  // namespace

TEST(ColorAdjust, DocumentedSinglePixelCases) {
  struct {
    const char* what;
    TRGB in, want;
    void (*op)(TBitmap&);
  } const kCases[] = {
      {"contrast 0", MakeRGB(10, 128, 250), MakeRGB(10, 128, 250),
       [](TBitmap& b) { AdjustContrast(b, 0, 0, 1, 1, 0, 100, 100, 100); }},
      {"contrast -100 gives the means", MakeRGB(10, 128, 250), MakeRGB(1, 2, 3),
       [](TBitmap& b) { AdjustContrast(b, 0, 0, 1, 1, -100, 1, 2, 3); }},
      {"contrast 100 (k 11)", MakeRGB(110, 90, 101), MakeRGB(210, 0, 111),
       [](TBitmap& b) { AdjustContrast(b, 0, 0, 1, 1, 100, 100, 100, 100); }},
      {"contrast -50 truncates toward zero", MakeRGB(110, 90, 100), MakeRGB(102, 98, 100),
       // k = 1 − √50/10 = 0.2929: 10k = 2.93 → 2, −10k → −2
       [](TBitmap& b) { AdjustContrast(b, 0, 0, 1, 1, -50, 100, 100, 100); }},
      {"shift red +255", MakeRGB(1, 2, 3), MakeRGB(255, 2, 3), [](TBitmap& b) { ShiftRGB(b, 0, 0, 1, 1, 255, 0, 0); }},
      {"shift red -255", MakeRGB(200, 2, 3), MakeRGB(0, 2, 3), [](TBitmap& b) { ShiftRGB(b, 0, 0, 1, 1, -255, 0, 0); }},
      {"red turned by 180 in HSL is cyan", MakeRGB(255, 0, 0), MakeRGB(0, 255, 255),
       [](TBitmap& b) { AdjustHSL(b, 0, 0, 1, 1, 180, 0, 0); }},
      {"H 0.75 turned by 180 saturates at red", MakeRGB(128, 0, 255), MakeRGB(255, 0, 0),
       [](TBitmap& b) { AdjustHSL(b, 0, 0, 1, 1, 180, 0, 0); }},
      {"HSV hue saturates at 359 instead of wrapping", MakeRGB(255, 0, 43), MakeRGB(255, 0, 5),
       [](TBitmap& b) { AdjustHSV(b, 0, 0, 1, 1, 30, 0, 0); }},
      {"threshold", MakeRGB(50, 150, 250), MakeRGB(0, 150, 255), [](TBitmap& b) {
         ApplyThreshold(b, 0, 0, 1, 1, MakeRGB(100, 100, 100), MakeRGB(200, 200, 200), MakeRGB(0, 0, 0),
                        MakeRGB(255, 255, 255));
       }},
      {"threshold black..white does nothing", MakeRGB(50, 150, 250), MakeRGB(50, 150, 250),
       [](TBitmap& b) { ApplyThreshold(b, 0, 0, 1, 1, MakeRGB(0, 0, 0), MakeRGB(255, 255, 255), MakeRGB(9, 9, 9), MakeRGB(9, 9, 9)); }},
      {"levels 0..255 do nothing", MakeRGB(1, 128, 254), MakeRGB(1, 128, 254),
       [](TBitmap& b) { StretchLevels(b, 0, 0, 1, 1, MakeRGB(0, 0, 0), MakeRGB(255, 255, 255)); }},
      {"levels 0..0: high raised to 1", MakeRGB(0, 1, 200), MakeRGB(0, 255, 255),
       [](TBitmap& b) { StretchLevels(b, 0, 0, 1, 1, MakeRGB(0, 0, 0), MakeRGB(0, 0, 0)); }},
      {"levels round half to even", MakeRGB(1, 1, 23), MakeRGB(0, 128, 8),
       // green 1 / 2 × 255 = 127.5 → 128; blue (23 − 15) / 240 × 255 = 8.5 → 8
       [](TBitmap& b) { StretchLevels(b, 0, 0, 1, 1, MakeRGB(1, 0, 15), MakeRGB(255, 2, 255)); }},
  };
  for (const auto& c : kCases) {
    TBitmap b;
    c.op(*Filled(b, 1, 1, c.in));
    const TRGB got = Pixel(b, 0, 0);
    EXPECT_EQ(got, c.want) << c.what << ": got " << int(got.r) << "," << int(got.g) << "," << int(got.b);
  }
}

TEST(ColorAdjust, HsvConversionsOfTheDocumentedColours) {
  int h, s, v;
  RGBToHSV(MakeRGB(255, 0, 0), h, s, v);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 99);
  EXPECT_EQ(v, 99);
  EXPECT_EQ(HSVToRGB(0, 99, 99), MakeRGB(255, 0, 0));
  EXPECT_EQ(HSVToRGB(-20, 150, 120), MakeRGB(255, 0, 0));  // limited, not wrapped
  RGBToHSV(MakeRGB(0, 0, 255), h, s, v);
  EXPECT_EQ(h, 240);
}

// Without the nudge in HSLToRGB a third of all colours would come back one lower.
TEST(ColorAdjust, HslRoundTripKeepsEveryColour) {
  int changed = 0;
  for (int r = 0; r < 256; r += 3)
    for (int g = 0; g < 256; g += 5)
      for (int b = 0; b < 256; b += 7) {
        double h, s, l;
        RGBToHSL(MakeRGB(uint8_t(r), uint8_t(g), uint8_t(b)), h, s, l);
        if (!(HSLToRGB(h, s, l) == MakeRGB(uint8_t(r), uint8_t(g), uint8_t(b)))) ++changed;
      }
  EXPECT_EQ(changed, 0);
}

TEST(ColorAdjust, NeutralShiftsChangeNothing) {
  TBitmap a, b;
  Varied(a, 40, 30);
  Varied(b, 40, 30);
  AdjustHSV(b, 0, 0, 40, 30, 0, 0, 0);
  AdjustHSL(b, 0, 0, 40, 30, 0, 0, 0);
  AdjustContrast(b, 0, 0, 40, 30, 0, 17, 200, 90);
  ShiftRGB(b, 0, 0, 40, 30, 0, 0, 0);
  StretchLevels(b, 0, 0, 40, 30, MakeRGB(0, 0, 0), MakeRGB(255, 255, 255));
  EXPECT_TRUE(Same(a, b));
  // while a real HSV shift quantises through the 100-level scale
  AdjustHSV(b, 0, 0, 40, 30, 1, 0, 0);
  EXPECT_FALSE(Same(a, b));
}

TEST(ColorAdjust, RectanglesAreCutToTheBitmap) {
  TBitmap b;
  Filled(b, 6, 4, MakeRGB(10, 10, 10));
  ShiftRGB(b, -3, -2, 100, 2, 5, 5, 5);  // negative starts from 0, ends cut at the size
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Pixel(b, x, y).r, y < 2 ? 15 : 10) << x << "," << y;
  ShiftRGB(b, 2, 2, 100, 100, 1, 1, 1);
  EXPECT_EQ(Pixel(b, 1, 3).r, 10);
  EXPECT_EQ(Pixel(b, 2, 3).r, 11);
  int means[3];
  ChannelMeans(b, 0, 0, 0, 0, means[0], means[1], means[2]);
  EXPECT_EQ(means[0], 128);  // nothing to average
  ChannelMeans(b, 0, 0, 2, 2, means[0], means[1], means[2]);
  EXPECT_EQ(means[0], 15);
}

TEST(ColorAdjust, ProgressStaysWithinHundredAndEmptyRectanglesReportNothing) {
  std::vector<int> seen;
  TVLProgressRecord progress;
  progress.fOnProgress = [&](TVLObject*, int per) { seen.push_back(per); };
  TBitmap b;
  Filled(b, 3, 10, MakeRGB(1, 2, 3));
  ShiftRGB(b, 0, 0, 3, 10, 1, 1, 1, &progress);
  // trunc(k × 100 / 9.5): 10, 21, ..., 94, then 105 limited to 100
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen[0], 10);
  EXPECT_EQ(seen[8], 94);
  EXPECT_EQ(seen[9], 100);
  seen.clear();
  ShiftRGB(b, 0, 4, 3, 5, 1, 1, 1, &progress);  // one row: 200 limited to 100
  EXPECT_EQ(seen, std::vector<int>{100});
  seen.clear();
  for (auto op : {+[](TBitmap& x, const TVLProgressRecord* p) { ShiftRGB(x, 2, 2, 2, 9, 1, 1, 1, p); },
                  +[](TBitmap& x, const TVLProgressRecord* p) { EqualizeHistogram(x, 0, 5, 3, 5, p); },
                  +[](TBitmap& x, const TVLProgressRecord* p) { AdjustHSL(x, 0, 0, 3, 0, 5, 0, 0, p); }})
    op(b, &progress);
  EXPECT_TRUE(seen.empty());
}

TEST(ColorAdjust, OtherPixelFormatsAreLeftAlone) {
  TBitmap mono(16, 2, TPixelFormat::pf1bit);
  mono.ScanLine(0)[0] = 0x5A;
  ShiftRGB(mono, 0, 0, 16, 2, 100, 100, 100);
  EqualizeHistogram(mono, 0, 0, 16, 2);
  AdjustHSV(mono, 0, 0, 16, 2, 30, 0, 0);
  EXPECT_EQ(mono.ScanLine(0)[0], 0x5A);
  THistogram t;
  t[3].Red = 7;
  ComputeHistogram(mono, 0, 0, 16, 2, t);
  EXPECT_EQ(t[3].Red, 0u);
}

TEST(ColorAdjust, HistogramCountsChannelsAndGray) {
  TBitmap b;
  Filled(b, 4, 3, MakeRGB(255, 255, 255));
  reinterpret_cast<TRGB*>(b.ScanLine(1))[2] = MakeRGB(10, 20, 30);
  THistogram t;
  ComputeHistogram(b, 0, 0, 4, 3, t);
  EXPECT_EQ(t[255].Red, 11u);
  EXPECT_EQ(t[252].Gray, 11u);  // the weights sum to 99: white is 252
  EXPECT_EQ(t[10].Red, 1u);
  EXPECT_EQ(t[20].Green, 1u);
  EXPECT_EQ(t[30].Blue, 1u);
  EXPECT_EQ(t[(21 * 10 + 71 * 20 + 7 * 30) / 100].Gray, 1u);
  ComputeHistogram(b, 2, 1, 3, 2, t);
  EXPECT_EQ(t[10].Red, 1u);
  EXPECT_EQ(t[255].Red, 0u);
}

TEST(ColorAdjust, EqualizeFlatImageIsUnchangedAndSmallImagesEnd) {
  TBitmap flat, copy;
  Filled(flat, 20, 20, MakeRGB(90, 30, 200));
  Filled(copy, 20, 20, MakeRGB(90, 30, 200));
  EqualizeHistogram(flat, 0, 0, 20, 20);
  EXPECT_TRUE(Same(flat, copy));

  // Under 256 pixels the share would be 0: the walk must still end, with one share a pixel.
  TBitmap tiny;
  Filled(tiny, 1, 2, MakeRGB(0, 0, 0));
  reinterpret_cast<TRGB*>(tiny.ScanLine(1))[0] = MakeRGB(255, 255, 255);
  EqualizeHistogram(tiny, 0, 0, 1, 2);
  // level 0 holds one pixel (Left 0 = Right 0): black stays; gray 252 has Left 1 = Right 1,
  // so white's channels map through Left[255] = 1.
  EXPECT_EQ(Pixel(tiny, 0, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(Pixel(tiny, 0, 1), MakeRGB(1, 1, 1));
}

TEST(ColorAdjust, EqualizeReadsNeighboursFromTheUnprocessedImage) {
  // Outside the rectangle nothing changes, and a rectangle's result equals the same pixels of
  // the whole-image result: the neighbourhoods never see processed pixels.
  TBitmap whole, part;
  Varied(whole, 33, 21);
  Varied(part, 33, 21);
  EqualizeHistogram(whole, 0, 0, 33, 21);
  EqualizeHistogram(part, 4, 3, 20, 17);
  TBitmap original;
  Varied(original, 33, 21);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 33; ++x) {
      const bool inside = x >= 4 && x < 20 && y >= 3 && y < 17;
      EXPECT_EQ(Pixel(part, x, y), Pixel(inside ? whole : original, x, y)) << x << "," << y;
    }
}

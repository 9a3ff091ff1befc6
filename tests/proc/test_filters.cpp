// The neighbourhood filters and effects: their neutral settings, the documented cases, the
// guards on hostile arguments, and the fast morphology against the plain window scan.
#include "proc/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <vector>

#include "filter_fixtures.h"
#include "proc/color_adjust.h"

using namespace velora;
using namespace velora::test;

namespace {

const std::array<int32_t, 9> kIdentity{0, 0, 0, 0, 1, 0, 0, 0, 0};
const std::array<int32_t, 9> kEdges{1, 1, 1, 1, -8, 1, 1, 1, 1};

// The user filter written straight from its definition: 64-bit sums, edge pixels repeated.
void ReferenceConvolve(TBitmap& b, const std::array<int32_t, 9>& k, int32_t divisor, int x0, int y0, int x1,
                       int y1) {
  TBitmap src;
  src.Assign(b);
  const int64_t d = divisor == 0 ? 1 : divisor;
  for (int y = std::max(y0, 0); y < std::min(y1, b.Height()); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, b.Width()); ++x)
      for (int c = 0; c < 3; ++c) {
        int64_t s = 0;
        for (int r = 0; r < 3; ++r)
          for (int q = 0; q < 3; ++q) {
            const int yy = std::clamp(y + r - 1, 0, b.Height() - 1), xx = std::clamp(x + q - 1, 0, b.Width() - 1);
            s += int64_t(k[size_t(3 * r + q)]) * At(src, xx, yy)[c];
          }
        b.ScanLine(y)[3 * x + c] = uint8_t(std::clamp<int64_t>(s / d, 0, 255));
      }
}

// The morphological pass as the design states it: scan the window, rows first, keep the
// strictly better grey.
void ScanPass(TBitmap& b, int m, bool maximum, int x0, int y0, int x1, int y1) {
  TBitmap src;
  src.Assign(b);
  auto grey = [&](int x, int y) { const uint8_t* p = At(src, x, y); return GrayOf(p[2], p[1], p[0]); };
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      int best = maximum ? 0 : 255, bx = x, by = y;
      for (int yy = std::max(y - m, y0); yy <= std::min(y + m, y1 - 1); ++yy)
        for (int xx = std::max(x - m, x0); xx <= std::min(x + m, x1 - 1); ++xx) {
          const int g = grey(xx, yy);
          if (maximum ? g > best : g < best) best = g, bx = xx, by = yy;
        }
      std::memcpy(b.ScanLine(y) + 3 * x, At(src, bx, by), 3);
    }
}

void ScanMorph(TBitmap& b, int m, int filter, int x0, int y0, int x1, int y1) {
  if (m < 0) return;
  const bool first = filter == mfMaximum || filter == mfClosing;
  ScanPass(b, m, first, x0, y0, x1, y1);
  if (filter >= mfOpening) ScanPass(b, m, !first, x0, y0, x1, y1);
}

// The highest and the last percentage reported.
struct TProgressLog {
  std::vector<int> seen;
  TVLProgressRecord record;
  TProgressLog() { record.fOnProgress = [this](TVLObject*, int per) { seen.push_back(per); }; }
  int Max() const { return seen.empty() ? -1 : *std::max_element(seen.begin(), seen.end()); }
  int Min() const { return seen.empty() ? -1 : *std::min_element(seen.begin(), seen.end()); }
};

}  // namespace

TEST(Filters, NeutralSettingsChangeNothing) {
  struct {
    const char* what;
    int w, h;
    std::function<void(TBitmap&)> op;
  } const kCases[] = {
      {"identity kernel, divisor 0", 9, 7, [](TBitmap& b) { ConvolveUserFilter(b, kIdentity, 0, 0, 0, 9, 7); }},
      {"bump light width 0", 9, 7,
       [](TBitmap& b) { BumpMap(b, 4, 3, 0, 10, MakeRGB(255, 255, 255), 0, 0, 0, 9, 7); }},
      {"bump light height 0", 9, 7,
       [](TBitmap& b) { BumpMap(b, 4, 3, 10, 0, MakeRGB(255, 255, 255), 0, 0, 0, 9, 7); }},
      {"lens refraction 1", 31, 23, [](TBitmap& b) { Lens(b, 15, 11, 20, 16, 1.0); }},
      {"lens refraction below 1 counts as 1", 31, 23, [](TBitmap& b) { Lens(b, 15, 11, 20, 16, 0.3); }},
      {"lens refraction 1 cut at a corner", 31, 23, [](TBitmap& b) { Lens(b, 0, 22, 30, 30, 1.0); }},
      {"lens outside the image", 31, 23, [](TBitmap& b) { Lens(b, 500, -400, 20, 20, 3.0); }},
      {"lens of negative size", 31, 23, [](TBitmap& b) { Lens(b, 15, 11, -20, -16, 3.0); }},
      {"lens on a one-pixel image", 1, 1, [](TBitmap& b) { Lens(b, 0, 0, 10, 10, 3.0); }},
      {"wave amplitude 0", 9, 7, [](TBitmap& b) { Wave(b, 0, 10, 0, false); }},
      {"wave length 0", 9, 7, [](TBitmap& b) { Wave(b, 10, 0, 0, true); }},
      {"morph radius 0", 9, 7, [](TBitmap& b) { MorphFilter(b, 0, mfClosing, 0, 0, 9, 7); }},
      {"morph negative radius", 9, 7, [](TBitmap& b) { MorphFilter(b, -3, mfMaximum, 0, 0, 9, 7); }},
      {"morph unknown filter", 9, 7, [](TBitmap& b) { MorphFilter(b, 2, 4, 0, 0, 9, 7); }},
      {"empty rectangle", 9, 7, [](TBitmap& b) { ConvolveUserFilter(b, kEdges, 1, 5, 5, 5, 7); }},
  };
  for (const auto& c : kCases) {
    TBitmap b, before;
    Varied(b, c.w, c.h);
    before.Assign(b);
    c.op(b);
    EXPECT_TRUE(SamePixels(b, before)) << c.what;
  }
}

TEST(Filters, UserFilterMatchesItsDefinition) {
  // Border repeat, rectangles, and weights whose products and sums overflow 32 bits.
  struct {
    std::array<int32_t, 9> k;
    int32_t divisor;
    int x0, y0, x1, y1;
  } const kCases[] = {
      {kEdges, 1, 0, 0, 13, 11},
      {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0, 0, 13, 11},
      {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1, 3, 2, 9, 8},
      {{1, 1, 1, 1, 1, 1, 1, 1, 1}, -9, -4, -4, 40, 40},
      {{INT32_MAX, INT32_MIN, INT32_MAX, 7, INT32_MAX, -3, INT32_MIN, 1, INT32_MAX}, INT32_MAX, 0, 0, 13, 11},
      {{1 << 30, 1 << 30, 1 << 30, 1 << 30, 1 << 30, 1 << 30, 1 << 30, 1 << 30, 1 << 30}, 1 << 30, 2, 0, 13, 5},
      {{5, -7, 3, 100000, -100000, 99999, 0, 0, 1}, INT32_MIN, 0, 0, 13, 11},
      {{0, 0, 0, 0, 3, 0, 0, 0, 0}, 2, 0, 10, 13, 11},
  };
  std::mt19937 rng(23);
  for (const auto& c : kCases) {
    TBitmap b, want;
    Random24(b, 13, 11, rng);
    want.Assign(b);
    ConvolveUserFilter(b, c.k, c.divisor, c.x0, c.y0, c.x1, c.y1);
    ReferenceConvolve(want, c.k, c.divisor, c.x0, c.y0, c.x1, c.y1);
    EXPECT_TRUE(SamePixels(b, want)) << c.k[0] << " / " << c.divisor;
  }
}

TEST(Filters, UserFilterDocumentedCases) {
  TBitmap flat;
  Fill24(flat, 6, 5, 90, 160, 30);
  ConvolveUserFilter(flat, kEdges, 1, 0, 0, 6, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(At(flat, x, y)[0] | At(flat, x, y)[1] | At(flat, x, y)[2], 0);
  // Nine weights of 2^30 over 200: 9 × 200 × 2^30 wraps in 32 bits, is 1800 → 255 in 64.
  TBitmap big;
  Fill24(big, 3, 3, 200, 200, 200);
  std::array<int32_t, 9> k;
  k.fill(1 << 30);
  ConvolveUserFilter(big, k, 1 << 30, 0, 0, 3, 3);
  EXPECT_EQ(At(big, 1, 1)[0], 255);
}

TEST(Filters, BumpMapLightsFromTheCentreAndReadsTheRowAboveItsRectangle) {
  // Flat grey: no relief, so the light alone decides: full colour at its centre, none one
  // radius away.
  TBitmap b;
  Fill24(b, 21, 21, 100, 100, 100);
  BumpMap(b, 10, 10, 10, 10, MakeRGB(255, 128, 0), 0, 0, 0, 21, 21);
  EXPECT_EQ(At(b, 10, 10)[2], 255);
  EXPECT_EQ(At(b, 10, 10)[1], 128);
  EXPECT_EQ(At(b, 10, 10)[0], 0);
  EXPECT_EQ(At(b, 20, 10)[2], 0);
  // Row 0 white, rows 1 and 2 black, the rectangle rows 1..2: the gradient of row 1 runs from
  // the white row above it (v = 0: no light); a plane that held only the rectangle, or limited
  // y − 1 to it, would see flat black and light the pixel fully.
  TBitmap edge;
  Fill24(edge, 4, 3, 0, 0, 0);
  std::memset(edge.ScanLine(0), 255, 12);
  BumpMap(edge, 1, 2, 100, 100, MakeRGB(255, 255, 255), 0, 0, 1, 4, 3);
  EXPECT_EQ(At(edge, 1, 1)[0], 0);
  EXPECT_EQ(At(edge, 1, 2)[0], 255);  // the light centre, where the rectangle is flat
  EXPECT_EQ(At(edge, 1, 0)[0], 255);  // outside the rectangle: untouched
}

TEST(Filters, LensMagnifiesInsideItsEllipseOnly) {
  TBitmap b, before;
  Varied(b, 41, 31);
  before.Assign(b);
  Lens(b, 20, 15, 20, 20, 2.0);
  // Rows above the lens rectangle and its corners keep their pixels; the middle moves.
  EXPECT_EQ(std::memcmp(b.ScanLine(3), before.ScanLine(3), 41 * 3), 0);
  EXPECT_EQ(std::memcmp(At(b, 10, 5), At(before, 10, 5), 3), 0);
  bool moved = false;
  for (int x = 14; x < 27; ++x) moved |= std::memcmp(At(b, x, 12), At(before, x, 12), 3) != 0;
  EXPECT_TRUE(moved);
}

TEST(Filters, HostileArgumentsStayInsideTheImage) {
  // Under the sanitizers these show reads outside the pixels; here the results must simply
  // come out and progress stay within 0..100.
  struct {
    const char* what;
    int w, h;
    std::function<void(TBitmap&, const TVLProgressRecord*)> op;
  } const kCases[] = {
      {"lens of huge refraction (tan near pi/2)", 40, 30,
       [](TBitmap& b, const TVLProgressRecord* p) { Lens(b, 20, 15, 39, 29, 1e12, p); }},
      {"lens one column wide", 40, 30, [](TBitmap& b, const TVLProgressRecord* p) { Lens(b, 20, 15, 2, 10, 3, p); }},
      {"lens larger than the image", 40, 30,
       [](TBitmap& b, const TVLProgressRecord* p) { Lens(b, 20, 15, INT32_MAX, INT32_MAX, 5, p); }},
      {"wave on one column", 1, 9, [](TBitmap& b, const TVLProgressRecord* p) { Wave(b, 3, 2, 0, false, p); }},
      {"wave on one row", 9, 1, [](TBitmap& b, const TVLProgressRecord* p) { Wave(b, 3, 2, 45, true, p); }},
      {"wave of huge amplitude", 9, 7,
       [](TBitmap& b, const TVLProgressRecord* p) { Wave(b, INT32_MAX, 1, 0, false, p); }},
      {"bump of tiny radius far away", 9, 7,
       [](TBitmap& b, const TVLProgressRecord* p) {
         BumpMap(b, INT32_MIN, INT32_MAX, 1, -1, MakeRGB(1, 2, 3), 50, 0, 0, 9, 7, p);
       }},
      {"morph on one row", 9, 1,
       [](TBitmap& b, const TVLProgressRecord* p) { MorphFilter(b, 1, mfOpening, 0, 0, 9, 1, p); }},
      {"morph radius beyond the image", 9, 7,
       [](TBitmap& b, const TVLProgressRecord* p) { MorphFilter(b, INT32_MAX, mfMinimum, 0, 0, 9, 7, p); }},
      {"user filter on one row", 9, 1,
       [](TBitmap& b, const TVLProgressRecord* p) { ConvolveUserFilter(b, kEdges, 1, 0, 0, 9, 1, p); }},
  };
  for (const auto& c : kCases) {
    TBitmap b;
    Varied(b, c.w, c.h);
    TProgressLog log;
    c.op(b, &log.record);
    EXPECT_LE(log.Max(), 100) << c.what;
    EXPECT_GE(log.Min(), log.seen.empty() ? -1 : 0) << c.what;
  }
}

TEST(Filters, WaveShiftsPixelsAlongTheRipple) {
  // A horizontal ramp: the wave moves each pixel by the ripple's sine, so values change but
  // stay within the ramp's range, and the centre (r = 0, sin 0) keeps its own pixel.
  TBitmap b, before;
  Varied(b, 21, 21);
  before.Assign(b);
  Wave(b, 4, 6, 0, false);
  EXPECT_FALSE(SamePixels(b, before));
  EXPECT_EQ(std::memcmp(At(b, 10, 10), At(before, 10, 10), 3), 0);
}

TEST(Filters, MorphologyOfOnePixel) {
  struct {
    int filter;
    uint8_t ground, dot, square;
  } const kCases[] = {
      {mfMaximum, 0, 255, 255},  // a white dot grows into a 3 × 3 white square
      {mfMinimum, 255, 0, 0},    // a black dot in white likewise
      {mfOpening, 0, 255, 0},    // a lone bright dot is opened away
      {mfClosing, 255, 0, 255},  // a lone dark dot is closed
  };
  for (const auto& c : kCases) {
    TBitmap b;
    Fill24(b, 7, 7, c.ground, c.ground, c.ground);
    std::memset(b.ScanLine(3) + 9, c.dot, 3);
    MorphFilter(b, 1, c.filter, 0, 0, 7, 7);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 7; ++x) {
        const bool inSquare = x >= 2 && x <= 4 && y >= 2 && y <= 4;
        const uint8_t want = c.filter >= mfOpening ? c.square : (inSquare ? c.square : c.ground);
        ASSERT_EQ(At(b, x, y)[1], want) << c.filter << " at " << x << "," << y;
      }
  }
}

TEST(Filters, FastMorphologyIsTheWindowScan) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> side(1, 40), level(0, 2);
  const int kLevels[] = {256, 3, 2};
  for (int round = 0; round < 90; ++round) {
    const int w = side(rng), h = side(rng);
    TBitmap b, want;
    // Few levels: many ties and many black windows (the maximum's keep-itself rule).
    Random24(b, w, h, rng, kLevels[level(rng)]);
    want.Assign(b);
    std::uniform_int_distribution<int> xs(-2, w + 2), ys(-2, h + 2);
    int x0 = xs(rng), x1 = xs(rng), y0 = ys(rng), y1 = ys(rng);
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    // Radius 1, the dialog's default, in every third round.
    const int radius = round % 3 == 0 ? 1 : std::uniform_int_distribution<int>(2, 12)(rng);
    const int filter = round % 4;
    MorphFilter(b, radius, filter, x0, y0, x1, y1);
    ScanMorph(want, radius, filter, std::max(x0, 0), std::max(y0, 0), std::min(x1, w), std::min(y1, h));
    ASSERT_TRUE(SamePixels(b, want)) << w << "x" << h << " radius " << radius << " filter " << filter << " rect "
                                     << x0 << "," << y0 << "," << x1 << "," << y1;
  }
}

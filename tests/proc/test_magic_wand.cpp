// The magic wand without a view: which pixels the region takes, and the outline around it.
#include <gtest/gtest.h>

#include "proc/magic_wand.h"

namespace velora {
namespace {

// A bitmap drawn from rows of letters: '#' dark grey, '+' a grey within tolerance 15 of it,
// '.' white.
void Draw(TBitmap& bmp, const std::vector<std::string>& rows) {
  bmp.Reset(int(rows[0].size()), int(rows.size()), TPixelFormat::pf24bit);
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const char c = rows[size_t(y)][size_t(x)];
      const uint8_t v = c == '#' ? 40 : c == '+' ? 52 : 255;
      uint8_t* p = bmp.ScanLine(y) + 3 * x;
      p[0] = p[1] = p[2] = v;
    }
}

std::vector<std::string> Rows(const TVLRegion& r) {
  std::vector<std::string> rows;
  for (int y = 0; y < r.Height; ++y) {
    rows.emplace_back();
    for (int x = 0; x < r.Width; ++x) rows.back() += r.Contains(x, y) ? '1' : '0';
  }
  return rows;
}

const std::vector<std::string> kPicture = {
    "##...",
    "#+..#",
    "....#",
};

TEST(MagicWand, RegionByModeAndDilation) {
  TBitmap bmp;
  Draw(bmp, kPicture);
  const struct {
    bool connected, dilate;
    int tolerance;
    std::vector<std::string> expected;
  } cases[] = {
      {true, false, 15, {"11000", "11000", "00000"}},   // diagonal and far pixels are not reached
      {false, false, 15, {"11000", "11001", "00001"}},  // every similar pixel
      {true, false, 5, {"11000", "10000", "00000"}},    // the lighter grey is beyond 5
      {true, true, 15, {"11100", "11100", "11100"}},    // dilated by one pixel every way
  };
  for (const auto& c : cases) EXPECT_EQ(Rows(MagicWandRegion(bmp, 0, 0, c.tolerance, c.connected, c.dilate)), c.expected);
  EXPECT_TRUE(MagicWandRegion(bmp, 5, 0, 15, true, false).Inside.empty()) << "a seed outside";
  TBitmap mono(4, 4, TPixelFormat::pf1bit);
  EXPECT_TRUE(MagicWandRegion(mono, 0, 0, 15, true, false).Inside.empty()) << "24-bit images only";
}

TEST(MagicWand, OutlineWalksTheCornersOfTheFirstPart) {
  TVLRegion l{3, 3, {1, 0, 0,
                     1, 0, 0,
                     1, 1, 1}};
  EXPECT_EQ(TraceRegionOutline(l), (std::vector<TPoint>{{0, 0}, {1, 0}, {1, 2}, {3, 2}, {3, 3}, {0, 3}}));
  // Two parts touching only at a corner are two parts: the walk stays around the first.
  TVLRegion diagonal{2, 2, {1, 0,
                            0, 1}};
  EXPECT_EQ(TraceRegionOutline(diagonal), (std::vector<TPoint>{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_TRUE(TraceRegionOutline(TVLRegion{2, 2, {0, 0, 0, 0}}).empty());
}

}  // namespace
}  // namespace velora

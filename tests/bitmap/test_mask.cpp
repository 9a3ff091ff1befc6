#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bitmap/vl_mask.h"

using namespace velora;

namespace {

std::string Rows(const TVLMask& m) {
  std::string s;
  for (int y = 0; y < m.Height(); ++y) {
    for (int x = 0; x < m.Width(); ++x) s += m.GetPixel(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

}  // namespace

TEST(MaskPolygon, TriangleSetsRowsAndBox) {
  TVLMask m;
  m.Allocate(12, 12, 1);
  const TPoint tri[] = {{0, 0}, {10, 0}, {0, 10}};
  m.FillPolygons(1, tri, 3);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(m.GetPixel(x, y), (y <= 9 && x <= 9 - y) ? 1 : 0) << x << "," << y;
  EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 0, 9, 9}));
}

TEST(MaskPolygon, SeparatedPolygonsAreFilledIndependently) {
  TVLMask m;
  m.Allocate(8, 4, 8);
  // Two overlapping rectangles: the overlap stays filled (no even-odd between polygons).
  const TPoint pts[] = {{0, 0}, {5, 0}, {5, 3}, {0, 3}, {TVLMask::kPolygonSeparator, 0},
                        {3, 1}, {8, 1}, {8, 4}, {3, 4}};
  m.FillPolygons(200, pts, 9);
  EXPECT_EQ(Rows(m),
            "#####...\n"
            "########\n"
            "########\n"
            "...#####\n");
  EXPECT_EQ(m.GetPixel(4, 2), 200);
  EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{0, 0, 7, 3}));

  // One polygon crossing itself: even-odd leaves the overlap of its own loops empty.
  const TPoint bow[] = {{0, 0}, {4, 0}, {4, 4}, {2, 4}, {2, 2}, {6, 2}, {6, 4}, {0, 4}};
  m.Allocate(8, 4, 1);
  m.FillPolygons(1, bow, 8);
  EXPECT_EQ(m.GetPixel(1, 3), 1);
  EXPECT_EQ(m.GetPixel(3, 3), 0);
  EXPECT_EQ(m.GetPixel(5, 3), 1);
}

TEST(MaskPolygon, PolygonAboveTheMaskPaintsRowZero) {
  TVLMask m;
  m.Allocate(6, 4, 1);
  const TPoint pts[] = {{1, -10}, {4, -10}, {4, -5}, {1, -5}};
  m.FillPolygons(1, pts, 4);
  EXPECT_EQ(Rows(m), ".###..\n......\n......\n......\n");
  EXPECT_FALSE(m.IsEmpty());
  EXPECT_EQ(m.Y1, 0);

  // A degenerate polygon writes nothing: the box stays as the earlier polygon left it.
  const TPoint flat[] = {{0, 2}, {5, 2}};
  m.FillPolygon(1, flat, 2);
  EXPECT_EQ(m.X1, 1);
  m.FillPolygons(1, flat, 2);
  EXPECT_TRUE(m.IsEmpty());
}

TEST(MaskFull, FillAndSetPixel) {
  TVLMask m;
  m.Allocate(3, 3, 8);
  EXPECT_FALSE(m.Full());
  m.Fill(255);
  EXPECT_TRUE(m.Full());
  m.SetPixel(1, 1, 255);
  EXPECT_TRUE(m.Full());
  m.SetPixel(1, 1, 128);
  EXPECT_FALSE(m.Full());
}

TEST(MaskTranslate, ShrinksOffsetsOrTrimsTheBox) {
  TVLMask m;
  m.Allocate(10, 4, 1);
  for (int x = 6; x < 10; ++x) m.SetPixel(x, 1, 1);
  int dx = 5, dy = 0;
  m.Translate(dx, dy, false);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(m.GetPixel(9, 1), 1);

  dx = -3, dy = 1;
  m.Translate(dx, dy, false);
  EXPECT_EQ(Rows(m), "..........\n..........\n...####...\n..........\n");
  EXPECT_EQ((std::vector<int>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int>{3, 2, 6, 2}));

  // Clipping: what leaves the mask is lost, the offsets stay.
  dx = 5, dy = 0;
  m.Translate(dx, dy, true);
  EXPECT_EQ(dx, 5);
  EXPECT_EQ(Rows(m), "..........\n..........\n........##\n..........\n");
  EXPECT_EQ((std::vector<int>{m.X1, m.X2}), (std::vector<int>{8, 9}));

  // 8 bits: values move with their pixels.
  TVLMask a;
  a.Allocate(4, 4, 8);
  a.SetPixel(0, 0, 77);
  dx = 2, dy = 3;
  a.Translate(dx, dy, false);
  EXPECT_EQ(a.GetPixel(2, 3), 77);
  EXPECT_EQ(a.GetPixel(0, 0), 0);

  // Moving everything out empties the mask.
  dx = 100, dy = 0;
  a.Translate(dx, dy, true);
  EXPECT_TRUE(a.IsEmpty());
}

TEST(MaskCopy, BlendsAtHalfAndCopiesThroughBits) {
  TBitmap src(2, 1, TPixelFormat::pf24bit), dst(2, 1, TPixelFormat::pf24bit);
  const uint8_t s[] = {200, 7, 0, 100, 100, 100}, d[] = {51, 0, 255, 0, 0, 0};
  std::memcpy(src.ScanLine(0), s, 6);
  std::memcpy(dst.ScanLine(0), d, 6);
  TVLMask m;
  m.Allocate(2, 1, 8);
  m.SetPixel(0, 0, 128);
  m.CopyMasked(dst, src, false, false);
  EXPECT_EQ(dst.ScanLine(0)[0], 125);  // (200 + 51) / 2 rounded down
  EXPECT_EQ(dst.ScanLine(0)[1], 3);
  EXPECT_EQ(dst.ScanLine(0)[2], 127);  // 255 + floor(-255 / 2)
  EXPECT_EQ(dst.ScanLine(0)[3], 0);    // outside the box

  // 1-bit mask, source placed at the box.
  TBitmap piece(1, 1, TPixelFormat::pf24bit);
  std::memset(piece.ScanLine(0), 9, 3);
  TVLMask sel;
  sel.Allocate(2, 1, 1);
  sel.SetPixel(1, 0, 1);
  sel.CopyMasked(dst, piece, true, false);
  EXPECT_EQ(dst.ScanLine(0)[3], 9);
  EXPECT_EQ(dst.ScanLine(0)[0], 125);
}

TEST(MaskDraw, InvertedAreaAndAnts) {
  TVLMask m;
  m.Allocate(8, 8, 1);
  const TPoint sq[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  m.FillPolygons(1, sq, 4);
  TBitmap target(16, 16, TPixelFormat::pf24bit);
  m.DrawInverted(target, 0, 0, 16, 16, 0, 0, 8, 8);
  EXPECT_EQ(target.ScanLine(4)[3 * 4], 255);   // source (2, 2)
  EXPECT_EQ(target.ScanLine(3)[3 * 3], 0);     // source (1, 1)
  EXPECT_EQ(target.ScanLine(11)[3 * 11], 255);  // source (5, 5)
  m.DrawInverted(target, 0, 0, 16, 16, 0, 0, 8, 8);
  EXPECT_EQ(target.ScanLine(4)[3 * 4], 0);  // XOR twice: back

  // 1:1 ants: the ring of the square, colour by diagonal stripes: bit 2 of x + y.
  TBitmap view(8, 8, TPixelFormat::pf24bit);
  m.DrawAnts(view, 0, 0, 0, clWhite, clRed, 0, 0, 8, 8, 8, 8);
  std::string drawn;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t* p = view.ScanLine(y) + 3 * x;
      drawn += p[2] == 0 ? '.' : p[0] == 255 ? 'w' : 'r';
    }
    drawn += '\n';
  }
  EXPECT_EQ(drawn,
            "........\n"
            "........\n"
            "..rrrr..\n"
            "..r..w..\n"
            "..r..w..\n"
            "..rwww..\n"
            "........\n"
            "........\n");
}

TEST(MaskDraw, AnyGeometryStaysInsideTheBuffers) {
  // Random polygons, moves and view geometries: run under the sanitizers, nothing may read or
  // write outside the mask, the ants cache or the target.
  std::mt19937 rng(9);
  auto r = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
  TBitmap target(23, 17, TPixelFormat::pf24bit);
  for (int round = 0; round < 300; ++round) {
    TVLMask m;
    m.Allocate(r(1, 40), r(1, 30), round % 3 == 0 ? 8 : 1);
    std::vector<TPoint> pts(size_t(r(0, 9)));
    for (auto& p : pts) p = r(0, 9) == 0 ? TPoint{TVLMask::kPolygonSeparator, 0} : TPoint{r(-60, 60), r(-60, 60)};
    m.FillPolygons(r(0, 255), pts.data(), int(pts.size()));
    for (int y = 0; y < m.Height(); ++y)
      for (int x = 0; x < m.Width(); ++x)
        if (m.GetPixel(x, y)) ASSERT_TRUE(x >= m.X1 && x <= m.X2 && y >= m.Y1 && y <= m.Y2) << "round " << round;
    int dx = r(-50, 50), dy = r(-50, 50);
    m.Translate(dx, dy, r(0, 1) == 1);
    m.DrawInverted(target, r(-30, 30), r(-30, 30), r(0, 60), r(0, 60), r(-10, 40), r(-10, 40), r(0, 50), r(0, 50));
    for (int k = 0; k < 2; ++k)
      m.DrawAnts(target, r(-30, 30), r(-30, 30), r(0, 7), clWhite, clBlack, r(-10, 40), r(-10, 40), r(1, 50),
                 r(1, 50), r(1, 60), r(1, 60));
  }
}

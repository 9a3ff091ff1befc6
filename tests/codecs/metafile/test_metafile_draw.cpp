// The metafile player: small metafiles written record by record, imported through the I/O
// front, and the pixels they must put at known places.
#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/metafile/metafile_imported.h"
#include "codecs/metafile/metafile_scenes.h"

namespace velora {
namespace {

using namespace mftest;

// The picture frames are 100 × 100 reference pixels; drawn at that size, one MM_TEXT unit
// is one target pixel (the target is 99 × 99).
constexpr int kSide = 100;

struct TMappingCase {
  const char* name;
  uint32_t mode;
  U_RECTL rect;              // logical
  int left, top, right, bottom;  // where it must land, in pixels
  U_SIZEL window{1, 1}, viewport{1, 1};
};

TEST(MetafileDraw, FilledRectangleLandsWhereEachMappingModeSays) {
  // The reference device has 10 pixels per millimetre.
  const TMappingCase cases[] = {
      {"MM_TEXT", U_MM_TEXT, {20, 20, 60, 60}, 20, 20, 60, 60},
      {"MM_LOMETRIC", U_MM_LOMETRIC, {20, -20, 60, -60}, 20, 20, 60, 60},
      {"MM_HIMETRIC", U_MM_HIMETRIC, {200, -200, 600, -600}, 20, 20, 60, 60},
      {"MM_LOENGLISH", U_MM_LOENGLISH, {10, -10, 20, -30}, 25, 25, 51, 76},
      {"MM_HIENGLISH", U_MM_HIENGLISH, {100, -100, 200, -300}, 25, 25, 51, 76},
      {"MM_TWIPS", U_MM_TWIPS, {144, -144, 288, -432}, 25, 25, 51, 76},
      {"MM_ISOTROPIC", U_MM_ISOTROPIC, {400, 400, 800, 800}, 20, 20, 40, 40, {1000, 1000}, {100, 50}},
      {"MM_ANISOTROPIC", U_MM_ANISOTROPIC, {200, 400, 600, 1200}, 20, 20, 60, 60, {1000, 1000}, {100, 50}},
  };
  for (const TMappingCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    emf.Add(U_EMRSETMAPMODE_set(c.mode));
    emf.Add(U_EMRSETWINDOWEXTEX_set(c.window)).Add(U_EMRSETVIEWPORTEXTEX_set(c.viewport));
    emf.Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN).Add(U_EMRRECTANGLE_set(c.rect));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    ASSERT_EQ(out.bitmap.Width(), kSide - 1);
    EXPECT_EQ(out.At((c.left + c.right) / 2, (c.top + c.bottom) / 2), kRed);
    EXPECT_EQ(out.At(c.left + 2, c.top + 2), kRed);
    EXPECT_EQ(out.At(c.right - 3, c.bottom - 3), kRed);
    EXPECT_EQ(out.At(c.left - 3, c.top - 3), kWhite);
    EXPECT_EQ(out.At(std::min(c.right + 3, kSide - 2), c.bottom - 3), kWhite);
    EXPECT_EQ(out.At(c.right - 3, std::min(c.bottom + 3, kSide - 2)), kWhite);
  }
}

TEST(MetafileDraw, PolygonFillModes) {
  // A pentagram: its centre has winding number 2, which alternate filling leaves empty.
  const U_POINTL star[] = {{50, 5}, {76, 90}, {7, 35}, {93, 35}, {24, 90}};
  for (uint32_t mode : {U_ALTERNATE, U_WINDING}) {
    SCOPED_TRACE(mode);
    TEmfBuilder emf(kSide, kSide);
    emf.Brush(Rgb(0, 0, 255)).Stock(U_NULL_PEN).Add(U_EMRSETPOLYFILLMODE_set(mode));
    emf.Add(U_EMRPOLYGON_set(U_RECTL{0, 0, 99, 99}, 5, star));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    EXPECT_EQ(out.At(50, 52), mode == U_WINDING ? kBlue : kWhite);  // the centre
    EXPECT_EQ(out.At(50, 15), kBlue);                                 // a point of the star
    EXPECT_EQ(out.At(10, 80), kWhite);
  }
}

TEST(MetafileDraw, EllipseIsClippedToTheClipRectangle) {
  TEmfBuilder emf(kSide, kSide);
  emf.Brush(Rgb(0, 255, 0)).Stock(U_NULL_PEN);
  emf.Add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{0, 0, 50, 100}));
  emf.Add(U_EMRELLIPSE_set(U_RECTL{10, 10, 90, 90}));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(30, 50), kGreen);
  EXPECT_EQ(out.At(48, 50), kGreen);
  EXPECT_EQ(out.At(52, 50), kWhite);
  EXPECT_EQ(out.At(70, 50), kWhite);
  EXPECT_EQ(out.At(12, 12), kWhite);  // outside the ellipse, inside the clip
}

TEST(MetafileDraw, TextEscapementTurnsTheLine) {
  for (int escapement : {0, 900}) {
    SCOPED_TRACE(escapement);
    TEmfBuilder emf(200, 200);
    emf.Add(U_EMRSETBKMODE_set(U_TRANSPARENT)).Add(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
    emf.Font(-20, escapement);
    emf.Text(100, 150, u"HHHHHHHH", 12);
    const TImported out(emf.Finish(), "emf", 200, 200);
    ASSERT_FALSE(out.aborting) << out.reason;
    const TInk ink = InkOf(out);
    ASSERT_GE(ink.right, 0) << "no text drawn";
    const int wide = ink.right - ink.left, tall = ink.bottom - ink.top;
    if (escapement == 0) {
      EXPECT_GT(wide, 3 * tall);
      EXPECT_GE(ink.left, 99);   // starts at the reference point, runs right
      EXPECT_LE(ink.bottom, 151);  // sits on the baseline
    } else {
      EXPECT_GT(tall, 3 * wide);
      EXPECT_LE(ink.bottom, 151);  // starts at the reference point, runs up
      EXPECT_LE(ink.right, 101);   // the glyphs stand left of the baseline, now vertical
    }
  }
}

TEST(MetafileDraw, StretchDIBitsScalesTwoByTwoToAHundred) {
  U_BITMAPINFOHEADER header;
  Bytes bits = TwoByTwoDib(header);
  PU_BITMAPINFO bmi = bitmapinfo_set(header, nullptr);
  TEmfBuilder emf(kSide, kSide);
  emf.Add(U_EMRSTRETCHDIBITS_set(U_RECTL{0, 0, 99, 99}, U_POINTL{0, 0}, U_POINTL{100, 100}, U_POINTL{0, 0},
                                 U_POINTL{2, 2}, U_DIB_RGB_COLORS, U_SRCCOPY, bmi, uint32_t(bits.size()),
                                 reinterpret_cast<char*>(bits.data())));
  std::free(bmi);
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(0, 0), kRed);
  EXPECT_EQ(out.At(49, 49), kRed);
  EXPECT_EQ(out.At(50, 49), (TRGB{255, 255, 255}));
  EXPECT_EQ(out.At(49, 50), kBlue);
  EXPECT_EQ(out.At(98, 98), kGreen);
  EXPECT_EQ(out.At(50, 50), kGreen);
}

TEST(MetafileDraw, RestoreDCBringsBackThePenAndTheClip) {
  TEmfBuilder emf(kSide, kSide);
  emf.Pen(Rgb(255, 0, 0), 5);
  emf.Add(U_EMRSAVEDC_set());
  emf.Pen(Rgb(0, 0, 255), 5).Add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{0, 0, 50, 100}));
  emf.Add(U_EMRMOVETOEX_set(U_POINTL{10, 20})).Add(U_EMRLINETO_set(U_POINTL{90, 20}));
  emf.Add(U_EMRRESTOREDC_set(-1));
  emf.Add(U_EMRMOVETOEX_set(U_POINTL{10, 60})).Add(U_EMRLINETO_set(U_POINTL{90, 60}));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(30, 20), kBlue);
  EXPECT_EQ(out.At(70, 20), kWhite);  // clipped
  EXPECT_EQ(out.At(30, 60), kRed);
  EXPECT_EQ(out.At(70, 60), kRed);    // the clip went with the state
}

TEST(MetafileDraw, WmfRectangleAndPolygonThroughTheBoundingBox) {
  // 1440 units per inch, a box of 1440 × 720: an inch by half an inch, 96 × 48 pixels.
  TWmfBuilder wmf(1440, 720, 1440);
  wmf.Brush(Rgb(255, 0, 0)).Pen(Rgb(0, 0, 255), 1, U_PS_NULL);
  wmf.Rect(0, 0, 720, 720);
  wmf.Brush(Rgb(0, 255, 0));
  wmf.Polygon({{900, 100}, {1400, 100}, {1400, 600}});
  const TImported out(wmf.Finish(), "wmf", -1, -1);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.fileType, ioWMF);
  ASSERT_EQ(out.bitmap.Width(), 95);
  ASSERT_EQ(out.bitmap.Height(), 47);
  EXPECT_EQ(out.At(20, 20), kRed);
  EXPECT_EQ(out.At(52, 20), kWhite);
  EXPECT_EQ(out.At(90, 10), kGreen);  // inside the triangle's right angle
  EXPECT_EQ(out.At(65, 35), kWhite);  // below its hypotenuse
}

TEST(MetafileDraw, SampleScenesDrawTheirShapes) {
  // The chart: its window is twice its 1200 × 800 pixels; the first bar spans 220..340 ×
  // 780..1400 of it, the pie's first slice lies right of its centre (1950, 500).
  const TImported chart(ChartEmf(), "emf", -1, -1);
  ASSERT_FALSE(chart.aborting) << chart.reason;
  EXPECT_EQ(chart.At(140, 600), (TRGB{196, 114, 66}));
  EXPECT_EQ(chart.At(1050, 200), (TRGB{196, 114, 66}));
  EXPECT_EQ(chart.At(40, 300), (TRGB{245, 250, 250}));  // the page outside the plot
  // The clip art, 288 × 192 pixels from 4320 × 2880 units: sky, grass, sun.
  const TImported art(ClipArtWmf(), "wmf", -1, -1);
  ASSERT_FALSE(art.aborting) << art.reason;
  EXPECT_EQ(art.At(150, 10), (TRGB{255, 215, 170}));
  EXPECT_EQ(art.At(20, 180), (TRGB{70, 170, 90}));
  EXPECT_EQ(art.At(240, 33), (TRGB{0, 210, 255}));
}

}  // namespace
}  // namespace velora

// The bitmap records beyond StretchDIBits, gradient fills and regions: small metafiles
// written record by record, and the pixels they must put at known places.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "codecs/metafile/metafile_imported.h"

namespace velora {
namespace {

using namespace mftest;

constexpr int kSide = 100;
constexpr TRGB kBlack{0, 0, 0};
const U_XFORM kIdentity = xform_set(1, 0, 0, 1, 0, 0);
const U_RECTL kAll{0, 0, kSide - 1, kSide - 1};

// The 2 × 2 DIB of the StretchDIBits test: red, white over blue, green.
struct TTwoByTwo : TDib {
  TTwoByTwo() : TDib(2, 2, 24, Quadrants()) {}
  static Bytes Quadrants() {
    U_BITMAPINFOHEADER header;
    return TwoByTwoDib(header);
  }
};

// A 1-bit 2 × 2 mask with its top left and bottom right pixels set.
struct TDiagonalMask : TDib {
  TDiagonalMask() : TDib(2, 2, 1, {0x40, 0, 0, 0, 0x80, 0, 0, 0}, {U_BGR(0, 0, 0), U_BGR(255, 255, 255)}) {}
};

::testing::AssertionResult Near(TRGB got, TRGB want, int tolerance = 2) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (r " << int(got.r) << ", g " << int(got.g) << ", b " << int(got.b)
                                       << "), want (r " << int(want.r) << ", g " << int(want.g) << ", b "
                                       << int(want.b) << ")";
}

// An EMF of kSide × kSide reference pixels whose page is black before the record under test.
TEmfBuilder& OnBlack(TEmfBuilder& emf) { return emf.Brush(Rgb(0, 0, 0)).Stock(U_NULL_PEN).Rect(0, 0, kSide, kSide); }

TEST(MetafileBitmaps, SetDIBitsToDeviceKeepsDevicePixelsWhateverTheMapping) {
  // The page halves logical units; the picture is drawn at twice its reference size. Each
  // source pixel is one device pixel, two target pixels, at the mapped point (40, 40) / 2 × 2.
  TTwoByTwo dib;
  TEmfBuilder emf(kSide, kSide);
  emf.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
  emf.Add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{100, 100})).Add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{50, 50}));
  emf.Add(U_EMRSETDIBITSTODEVICE_set(kAll, U_POINTL{40, 40}, U_POINTL{0, 0}, U_POINTL{2, 2}, U_DIB_RGB_COLORS, 0, 2,
                                     dib.bmi, dib.Size(), dib.Px()));
  const TImported out(emf.Finish(), "emf", 2 * kSide, 2 * kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(40, 40), kRed);
  EXPECT_EQ(out.At(41, 41), kRed);
  EXPECT_EQ(out.At(40, 42), kBlue);
  EXPECT_EQ(out.At(43, 43), kGreen);
  EXPECT_EQ(out.At(43, 41), kWhite);
  EXPECT_EQ(out.At(39, 44), kWhite);
  EXPECT_EQ(out.At(44, 43), kWhite);
}

TEST(MetafileBitmaps, SetDIBitsToDeviceDrawsTheBandItCarries) {
  // A 2 × 4 bottom-up DIB of which the record carries scan lines 1 and 2 (counted from the
  // bottom): red, white over blue, green. The source rectangle asks for lines 1 to 3; line 3
  // is not in the band and leaves the black page as it is. Logical units are half pixels,
  // the source pixels stay one pixel each: the band lands at (40, 41).
  TDib band(2, 4, 24, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
  for (const char* format : {"wmf", "emf"}) {
    SCOPED_TRACE(format);
    Bytes bytes;
    if (format == std::string("wmf")) {
      TWmfBuilder wmf(2 * kSide, 2 * kSide, 2 * 96);
      wmf.Brush(Rgb(0, 0, 0)).Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Rect(0, 0, 2 * kSide + 2, 2 * kSide + 2);
      bytes = wmf.Add(WmfDibToDevice(80, 80, 0, 1, 2, 3, 1, 2, band)).Finish();
    } else {
      TEmfBuilder emf(kSide, kSide);
      OnBlack(emf).Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
      emf.Add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{200, 200})).Add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{100, 100}));
      bytes = emf.Add(U_EMRSETDIBITSTODEVICE_set(kAll, U_POINTL{80, 80}, U_POINTL{0, 1}, U_POINTL{2, 3},
                                                 U_DIB_RGB_COLORS, 1, 2, band.bmi, band.Size(), band.Px()))
                  .Finish();
    }
    const TImported out(bytes, format, kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    // Row 40 is line 3, cut off; right of and below the band the page stays.
    const struct {
      int x, y;
      TRGB want;
    } points[] = {{40, 40, kBlack}, {41, 40, kBlack}, {40, 41, kRed},   {41, 41, kWhite},
                  {40, 42, kBlue},  {41, 42, kGreen}, {42, 41, kBlack}, {40, 43, kBlack}};
    for (const auto& p : points) EXPECT_EQ(out.At(p.x, p.y), p.want) << "at " << p.x << ", " << p.y;
  }
}

TEST(MetafileBitmaps, AlphaBlendMixesBySourceAndConstantAlpha) {
  // 1 × 2 pixels, 32 bits: left red at half coverage (premultiplied 128), right nothing at all.
  struct TCase {
    const char* name;
    uint8_t format, constant;
    TRGB left, right;
  } cases[] = {
      {"per-pixel", U_AC_SRC_ALPHA, 255, {127, 127, 255}, kWhite},
      {"per-pixel and constant", U_AC_SRC_ALPHA, 128, {191, 191, 255}, kWhite},
      // Without AC_SRC_ALPHA the fourth bytes are no alpha: half red and black, each at half.
      {"constant", 0, 128, {127, 127, 191}, {127, 127, 127}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDib dib(2, 1, 32, {0, 0, 128, 128, 0, 0, 0, 0});
    TEmfBuilder emf(kSide, kSide);
    const U_BLEND blend{0 /* AC_SRC_OVER */, 0, c.constant, c.format};
    emf.Add(U_EMRALPHABLEND_set(kAll, U_POINTL{0, 0}, U_POINTL{100, 100}, U_POINTL{0, 0}, U_POINTL{2, 1}, kIdentity,
                                Rgb(0, 0, 0), U_DIB_RGB_COLORS, blend, dib.bmi, dib.Size(), dib.Px()));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    EXPECT_TRUE(Near(out.At(25, 50), c.left));
    EXPECT_TRUE(Near(out.At(75, 50), c.right));
  }
}

TEST(MetafileBitmaps, TransparentBltLeavesTheTransparentColourOut) {
  TTwoByTwo dib;
  TEmfBuilder emf(kSide, kSide);
  OnBlack(emf).Add(U_EMRTRANSPARENTBLT_set(kAll, U_POINTL{0, 0}, U_POINTL{100, 100}, U_POINTL{0, 0}, U_POINTL{2, 2},
                                           kIdentity, Rgb(0, 0, 0), U_DIB_RGB_COLORS, 0x0000FF /* red */, dib.bmi,
                                           dib.Size(), dib.Px()));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(25, 25), kBlack);  // red: the page shows through
  EXPECT_EQ(out.At(75, 25), kWhite);
  EXPECT_EQ(out.At(25, 75), kBlue);
  EXPECT_EQ(out.At(75, 75), kGreen);
}

TEST(MetafileBitmaps, MaskBltAndPlgBltDrawOnlyWhereTheMaskIsSet) {
  // MaskBlt copies without stretching: the page maps 2 logical units onto 100 pixels.
  // PlgBlt turns the source a quarter round: its top edge runs down the right side, its
  // left edge along the top. Both keep the page where the mask is clear.
  for (bool parallelogram : {false, true}) {
    SCOPED_TRACE(parallelogram ? "PlgBlt" : "MaskBlt");
    TTwoByTwo dib;
    TDiagonalMask mask;
    TEmfBuilder emf(kSide, kSide);
    OnBlack(emf);
    if (parallelogram) {
      U_POINTL corners[3] = {{100, 0}, {100, 100}, {0, 0}};
      emf.Add(WithMask<U_EMRPLGBLT>(U_EMRPLGBLT_set(kAll, corners, U_POINTL{0, 0}, U_POINTL{2, 2}, kIdentity, Rgb(0, 0, 0),
                                                    U_DIB_RGB_COLORS, U_POINTL{0, 0}, U_DIB_RGB_COLORS, dib.bmi,
                                                    dib.Size(), dib.Px(), nullptr, 0, nullptr),
                                    mask));
    } else {
      emf.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
      emf.Add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{2, 2})).Add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{100, 100}));
      const uint32_t keepBehindMask = 0xAA000000u | U_SRCCOPY;
      emf.Add(WithMask<U_EMRMASKBLT>(U_EMRMASKBLT_set(kAll, U_POINTL{0, 0}, U_POINTL{2, 2}, U_POINTL{0, 0}, kIdentity,
                                                      Rgb(0, 0, 0), U_DIB_RGB_COLORS, U_POINTL{0, 0}, U_DIB_RGB_COLORS,
                                                      keepBehindMask, dib.bmi, dib.Size(), dib.Px(), nullptr, 0, nullptr),
                                     mask));
    }
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    // Source top left (red) and bottom right (green) are masked in, the others out.
    const auto at = [&](int sx, int sy) {
      return parallelogram ? out.At(75 - 50 * sy, 25 + 50 * sx) : out.At(25 + 50 * sx, 25 + 50 * sy);
    };
    EXPECT_EQ(at(0, 0), kRed);
    EXPECT_EQ(at(1, 1), kGreen);
    EXPECT_EQ(at(1, 0), kBlack);
    EXPECT_EQ(at(0, 1), kBlack);
  }
}

TEST(MetafileBitmaps, GradientFillShadesRectanglesAndTriangles) {
  // Red at the first vertex, blue at the second, green at the third (16 bits a channel).
  U_TRIVERTEX vertices[3] = {{0, 0, 0xFF00, 0, 0, 0}, {100, 100, 0, 0, 0xFF00, 0}, {0, 100, 0, 0xFF00, 0, 0}};
  struct TCase {
    const char* name;
    uint32_t mode;
    std::vector<uint32_t> objects;
    struct TPixel {
      int x, y;
      TRGB colour;
    };
    std::vector<TPixel> pixels;
  } cases[] = {
      {"across", U_GRADIENT_FILL_RECT_H, {0, 1}, {{2, 50, {0, 0, 250}}, {97, 50, {250, 0, 0}}, {50, 10, {127, 0, 127}}}},
      {"down", U_GRADIENT_FILL_RECT_V, {0, 1}, {{50, 2, {0, 0, 250}}, {50, 97, {250, 0, 0}}, {10, 50, {127, 0, 127}}}},
      // The triangle below the diagonal: at its centroid a third of each colour.
      {"triangle", U_GRADIENT_FILL_TRIANGLE, {0, 1, 2},
       {{2, 97, {0, 245, 0}}, {33, 66, {85, 85, 85}}, {80, 20, kWhite}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    emf.Add(U_EMRGRADIENTFILL_set(kAll, 3, 1, c.mode, vertices, c.objects.data()));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    for (const auto& p : c.pixels) EXPECT_TRUE(Near(out.At(p.x, p.y), p.colour, 8)) << p.x << ", " << p.y;
  }
}

TEST(MetafileBitmaps, LinesOfAPathMakeOneFigureWithABitmapBetweenThem) {
  TTwoByTwo dib;
  TEmfBuilder emf(kSide, kSide);
  emf.Brush(Rgb(0, 0, 255)).Stock(U_NULL_PEN).Add(U_EMRBEGINPATH_set());
  emf.Add(U_EMRMOVETOEX_set(U_POINTL{10, 10})).Add(U_EMRLINETO_set(U_POINTL{90, 10}));
  emf.Add(U_EMRSTRETCHDIBITS_set(kAll, U_POINTL{0, 0}, U_POINTL{4, 4}, U_POINTL{0, 0}, U_POINTL{2, 2},
                                 U_DIB_RGB_COLORS, U_SRCCOPY, dib.bmi, dib.Size(), dib.Px()));
  emf.Add(U_EMRLINETO_set(U_POINTL{90, 90})).Add(U_EMRLINETO_set(U_POINTL{10, 90}));
  emf.Add(U_EMRCLOSEFIGURE_set()).Add(U_EMRENDPATH_set()).Add(U_EMRFILLPATH_set(kAll));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(50, 50), kBlue);
  EXPECT_EQ(out.At(1, 1), kRed);  // the bitmap itself is drawn
}

TEST(MetafileRegions, WmfRegionsFillAndClipByTheirScans) {
  for (size_t head : {22, 20}) {
    for (bool clip : {false, true}) {
      SCOPED_TRACE(std::to_string(head) + (clip ? " clip" : " fill"));
      TWmfBuilder wmf(100, 100, 96);
      wmf.Brush(Rgb(255, 0, 0)).Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Reserve(1);
      wmf.Add(LShapedRegion(head == 22));  // slot 2, after the brush and the pen
      if (clip)
        wmf.Add(U_WMRSELECTCLIPREGION_set(2)).Rect(0, 0, 101, 101);
      else
        wmf.Add(U_WMRFILLREGION_set(2, 0));
      const TImported out(wmf.Finish(), "wmf", -1, -1);
      ASSERT_FALSE(out.aborting) << out.reason;
      EXPECT_EQ(out.At(75, 25), kRed);
      EXPECT_EQ(out.At(25, 75), kRed);
      EXPECT_EQ(out.At(75, 75), kWhite);  // inside the bounding box, outside the region
    }
  }
}

TEST(MetafileRegions, EmfClipRegionsCombineInEveryMode) {
  // The left half is the clipping area; the top half joins it by the mode; a red page is
  // then painted through it. The quadrants: top left, top right, bottom left, bottom right.
  struct TCase {
    const char* name;
    uint32_t mode;
    bool topLeft, topRight, bottomLeft, bottomRight;
  } cases[] = {
      {"AND", U_RGN_AND, true, false, false, false},  {"OR", U_RGN_OR, true, true, true, false},
      {"XOR", U_RGN_XOR, false, true, true, false},   {"DIFF", U_RGN_DIFF, false, false, true, false},
      {"COPY", U_RGN_COPY, true, true, false, false},
  };
  const auto region = [](U_RECTL rect) { return rgndata_set(rgndataheader_set(1, rect), &rect); };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    PU_RGNDATA left = region(U_RECTL{0, 0, 50, 100}), top = region(U_RECTL{0, 0, 100, 50});
    emf.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, left)).Add(U_EMREXTSELECTCLIPRGN_set(c.mode, top));
    std::free(left), std::free(top);
    emf.Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN).Rect(0, 0, kSide, kSide);
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    EXPECT_EQ(out.At(25, 25), c.topLeft ? kRed : kWhite);
    EXPECT_EQ(out.At(75, 25), c.topRight ? kRed : kWhite);
    EXPECT_EQ(out.At(25, 75), c.bottomLeft ? kRed : kWhite);
    EXPECT_EQ(out.At(75, 75), c.bottomRight ? kRed : kWhite);
  }
}

TEST(MetafileRegions, ClipPathsJoinAndFlipAreas) {
  // cairo clips only by intersection; joined and flipped areas are held as a mask. Clip
  // paths are squares: A from (0, 0) to (60, 60), B from (40, 40) to (100, 100); a red page
  // (or, last, an inversion of it) is painted through the area. Points: top left (25, 25),
  // top right (75, 25), bottom left (25, 75), bottom right (75, 75), centre (50, 50).
  enum TStep { kPathA, kPathB, kOrTopRight, kAndTop, kSave, kRestore, kInvert };
  struct TCase {
    const char* name;
    std::vector<std::pair<TStep, uint32_t>> steps;
    bool topLeft, topRight, bottomLeft, bottomRight, centre;
  } cases[] = {
      {"path OR rectangle", {{kPathA, U_RGN_COPY}, {kOrTopRight, U_RGN_OR}}, true, true, false, false, true},
      {"path XOR path", {{kPathA, U_RGN_COPY}, {kPathB, U_RGN_XOR}}, true, false, false, true, false},
      {"path XOR path, AND rectangle", {{kPathA, U_RGN_COPY}, {kPathB, U_RGN_XOR}, {kAndTop, U_RGN_AND}},
       true, false, false, false, false},
      {"path XOR path, DIFF path", {{kPathA, U_RGN_COPY}, {kPathB, U_RGN_XOR}, {kPathA, U_RGN_DIFF}},
       false, false, false, true, false},
      {"no clip OR path", {{kPathA, U_RGN_OR}}, true, true, true, true, true},
      {"path XOR itself", {{kPathA, U_RGN_COPY}, {kPathA, U_RGN_XOR}}, false, false, false, false, false},
      {"OR undone by RestoreDC", {{kPathA, U_RGN_COPY}, {kSave, 0}, {kPathB, U_RGN_OR}, {kRestore, 0}},
       true, false, false, false, true},
      // The inversion meets the picture below through the mask, and leaves it outside.
      {"path XOR path, inverted", {{kPathA, U_RGN_COPY}, {kPathB, U_RGN_XOR}, {kInvert, 0}},
       true, false, false, true, false},
  };
  const auto region = [](U_RECTL rect) { return rgndata_set(rgndataheader_set(1, rect), &rect); };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    emf.Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN);
    bool invert = false;
    for (const auto& [step, mode] : c.steps) {
      switch (step) {
        case kPathA:
        case kPathB: {
          const int from = step == kPathA ? 0 : 40;
          emf.Add(U_EMRBEGINPATH_set()).Rect(from, from, from + 60, from + 60).Add(U_EMRENDPATH_set());
          emf.Add(U_EMRSELECTCLIPPATH_set(mode));
          break;
        }
        case kOrTopRight: {
          PU_RGNDATA rect = region(U_RECTL{50, 0, 100, 50});
          emf.Add(U_EMREXTSELECTCLIPRGN_set(mode, rect));
          std::free(rect);
          break;
        }
        case kAndTop: emf.Add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{0, 0, 100, 50})); break;
        case kSave: emf.Add(U_EMRSAVEDC_set()); break;
        case kRestore: emf.Add(U_EMRRESTOREDC_set(-1)); break;
        case kInvert: invert = true; break;
      }
    }
    emf.Rect(0, 0, kSide + 1, kSide + 1);
    if (invert)
      emf.Add(U_EMRBITBLT_set(kAll, U_POINTL{0, 0}, U_POINTL{kSide, kSide}, U_POINTL{0, 0}, kIdentity, Rgb(0, 0, 0),
                              U_DIB_RGB_COLORS, U_DSTINVERT, nullptr, 0, nullptr));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    const TRGB in = invert ? TRGB{255, 255, 0} : kRed;
    EXPECT_EQ(out.At(25, 25), c.topLeft ? in : kWhite);
    EXPECT_EQ(out.At(75, 25), c.topRight ? in : kWhite);
    EXPECT_EQ(out.At(25, 75), c.bottomLeft ? in : kWhite);
    EXPECT_EQ(out.At(75, 75), c.bottomRight ? in : kWhite);
    EXPECT_EQ(out.At(50, 50), c.centre ? in : kWhite);
  }
}

}  // namespace
}  // namespace velora

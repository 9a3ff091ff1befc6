// Metafiles as other programs write them: paths spread over many records, fonts named by
// face with their decorations and character sets, transparency written as a mask and a
// picture, wide styled pens. Small files written record by record, the pixels each record
// must put at known places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codecs/metafile/metafile_imported.h"
#include "codecs/metafile/metafile_text.h"

namespace velora {
namespace {

using namespace mftest;

constexpr int kSide = 100;
const U_RECTL kAll{0, 0, kSide - 1, kSide - 1};

// ---- paths ---------------------------------------------------------------------------------

U_POINT16 P16(int x, int y) { return U_POINT16{int16_t(x), int16_t(y)}; }

// The ways a figure's next side can be written: every record that continues a figure from
// the pen's position.
enum class TSide { LineTo, PolylineTo, PolylineTo16, BezierTo, BezierTo16 };

// The straight side from the pen at a to b, written as the record of that kind (a Bézier
// with its control points on the line).
void AddSide(TEmfBuilder& emf, TSide kind, U_POINTL a, U_POINTL b) {
  const U_POINTL third{a.x + (b.x - a.x) / 3, a.y + (b.y - a.y) / 3};
  const U_POINTL twoThirds{a.x + 2 * (b.x - a.x) / 3, a.y + 2 * (b.y - a.y) / 3};
  const U_POINTL curve[] = {third, twoThirds, b};
  const U_POINT16 curve16[] = {P16(third.x, third.y), P16(twoThirds.x, twoThirds.y), P16(b.x, b.y)};
  const U_POINT16 end16 = P16(b.x, b.y);
  switch (kind) {
    case TSide::LineTo: emf.Add(U_EMRLINETO_set(b)); break;
    case TSide::PolylineTo: emf.Add(U_EMRPOLYLINETO_set(kAll, 1, &b)); break;
    case TSide::PolylineTo16: emf.Add(U_EMRPOLYLINETO16_set(kAll, 1, &end16)); break;
    case TSide::BezierTo: emf.Add(U_EMRPOLYBEZIERTO_set(kAll, 3, curve)); break;
    case TSide::BezierTo16: emf.Add(U_EMRPOLYBEZIERTO16_set(kAll, 3, curve16)); break;
  }
}

// A page of kSide × kSide reference pixels mapped onto logical units scale times finer, so
// that the same figures are tried where logical and device units differ: at scale 3 the
// points fall between the 1/256 steps cairo rounds its path to.
TEmfBuilder& Scaled(TEmfBuilder& emf, int scale) {
  if (scale == 1) return emf;
  emf.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
  return emf.Add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{kSide * scale, kSide * scale}))
      .Add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{kSide, kSide}));
}

TEST(MetafileWriterPaths, SquareOfOneRecordPerSideFills) {
  // The square 20..80 filled red from a path of a move and four sides, each its own record:
  // one figure, whatever record kinds carry its sides. Its inside is red, its outside white.
  struct TCase {
    const char* name;
    std::vector<TSide> sides;
  } cases[] = {
      {"LINETO", {TSide::LineTo, TSide::LineTo, TSide::LineTo, TSide::LineTo}},
      {"POLYLINETO", {TSide::PolylineTo, TSide::PolylineTo, TSide::PolylineTo, TSide::PolylineTo}},
      {"POLYLINETO16", {TSide::PolylineTo16, TSide::PolylineTo16, TSide::PolylineTo16, TSide::PolylineTo16}},
      {"POLYBEZIERTO", {TSide::BezierTo, TSide::BezierTo, TSide::BezierTo, TSide::BezierTo}},
      {"POLYBEZIERTO16", {TSide::BezierTo16, TSide::BezierTo16, TSide::BezierTo16, TSide::BezierTo16}},
      {"mixed", {TSide::BezierTo, TSide::LineTo, TSide::PolylineTo16, TSide::BezierTo16}},
  };
  for (int scale : {1, 3}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at scale " + std::to_string(scale));
      TEmfBuilder emf(kSide, kSide);
      Scaled(emf, scale).Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN);
      const auto at = [&](int x, int y) { return U_POINTL{x * scale + 1, y * scale + 1}; };
      const U_POINTL corners[] = {at(20, 20), at(80, 20), at(80, 80), at(20, 80), at(20, 20)};
      emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRMOVETOEX_set(corners[0]));
      for (size_t i = 0; i < 4; ++i) AddSide(emf, c.sides[i], corners[i], corners[i + 1]);
      emf.Add(U_EMRENDPATH_set()).Add(U_EMRFILLPATH_set(kAll));
      const TImported out(emf.Finish(), "emf", kSide, kSide);
      ASSERT_FALSE(out.aborting) << out.reason;
      for (auto [x, y] : {std::pair{50, 50}, {23, 23}, {77, 23}, {77, 77}, {23, 77}, {50, 22}})
        EXPECT_EQ(out.At(x, y), kRed) << "at " << x << ", " << y;
      for (auto [x, y] : {std::pair{17, 50}, {50, 17}, {83, 50}, {50, 83}})
        EXPECT_EQ(out.At(x, y), kWhite) << "at " << x << ", " << y;
    }
  }
}

// The circle of radius 30 round (50, 50) as four Bézier quarters: in one POLYBEZIERTO record
// or in four.
Bytes BezierCircle(bool oneRecord, int scale) {
  constexpr double k = 0.5522847498 * 30;
  const int shift = scale > 1 ? 1 : 0;  // off the multiples of the scale, as in Scaled
  const auto at = [&](double x, double y) {
    return U_POINTL{int32_t(std::lround(x * scale)) + shift, int32_t(std::lround(y * scale)) + shift};
  };
  const U_POINTL points[] = {at(50 + k, 20), at(80, 50 - k), at(80, 50),  at(80, 50 + k), at(50 + k, 80), at(50, 80),
                             at(50 - k, 80), at(20, 50 + k), at(20, 50),  at(20, 50 - k), at(50 - k, 20), at(50, 20)};
  TEmfBuilder emf(kSide, kSide);
  Scaled(emf, scale).Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN);
  emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRMOVETOEX_set(at(50, 20)));
  if (oneRecord)
    emf.Add(U_EMRPOLYBEZIERTO_set(kAll, 12, points));
  else
    for (int quarter = 0; quarter < 4; ++quarter) emf.Add(U_EMRPOLYBEZIERTO_set(kAll, 3, points + 3 * quarter));
  emf.Add(U_EMRCLOSEFIGURE_set()).Add(U_EMRENDPATH_set()).Add(U_EMRFILLPATH_set(kAll));
  return emf.Finish();
}

TEST(MetafileWriterPaths, CircleOfFourRecordsIsTheCircleOfOne) {
  for (int scale : {1, 3}) {
    SCOPED_TRACE("scale " + std::to_string(scale));
    const TImported one(BezierCircle(true, scale), "emf", kSide, kSide);
    const TImported four(BezierCircle(false, scale), "emf", kSide, kSide);
    ASSERT_FALSE(one.aborting || four.aborting) << one.reason << four.reason;
    // The disc's middle, where four chord-closed crescents would leave a white square.
    EXPECT_EQ(four.At(50, 50), kRed);
    EXPECT_EQ(four.At(30, 50), kRed);
    EXPECT_EQ(four.At(22, 22), kWhite);
    int differing = 0;
    for (int y = 0; y < four.bitmap.Height(); ++y)
      for (int x = 0; x < four.bitmap.Width(); ++x) differing += !(one.At(x, y) == four.At(x, y));
    EXPECT_EQ(differing, 0);
  }
}

TEST(MetafileWriterPaths, ArcToContinuesTheFigure) {
  // Clockwise on the page from the left of the circle 20..80 to its right: the upper half.
  // The figure: up the left side from (20, 80), over the arc, down to (80, 80), closed. Its
  // upper part is a half disc, its lower part the rectangle 20..80 × 50..80.
  TEmfBuilder emf(kSide, kSide);
  emf.Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN).Add(U_EMRSETARCDIRECTION_set(U_AD_CLOCKWISE));
  emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRMOVETOEX_set(U_POINTL{20, 80}));
  emf.Add(U_EMRARCTO_set(U_RECTL{20, 20, 80, 80}, U_POINTL{20, 50}, U_POINTL{80, 50}));
  emf.Add(U_EMRLINETO_set(U_POINTL{80, 80})).Add(U_EMRCLOSEFIGURE_set());
  emf.Add(U_EMRENDPATH_set()).Add(U_EMRFILLPATH_set(kAll));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  for (auto [x, y] : {std::pair{50, 25}, {50, 45}, {25, 75}, {75, 75}, {75, 55}})
    EXPECT_EQ(out.At(x, y), kRed) << "at " << x << ", " << y;
  for (auto [x, y] : {std::pair{23, 23}, {77, 23}, {50, 17}, {50, 83}})
    EXPECT_EQ(out.At(x, y), kWhite) << "at " << x << ", " << y;
}

TEST(MetafileWriterPaths, MoveOrClosedFigureStartsAFigure) {
  // Two triangles of two records each, parted by a move; and a third side after a closed
  // figure. Joined into one figure, the fill would cover the space between them.
  TEmfBuilder emf(kSide, kSide);
  emf.Brush(Rgb(255, 0, 0)).Stock(U_NULL_PEN);
  emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRMOVETOEX_set(U_POINTL{10, 10}));
  emf.Add(U_EMRLINETO_set(U_POINTL{40, 10})).Add(U_EMRLINETO_set(U_POINTL{10, 40}));
  emf.Add(U_EMRMOVETOEX_set(U_POINTL{90, 90}));
  emf.Add(U_EMRLINETO_set(U_POINTL{60, 90})).Add(U_EMRLINETO_set(U_POINTL{90, 60})).Add(U_EMRCLOSEFIGURE_set());
  emf.Add(U_EMRLINETO_set(U_POINTL{90, 10}));
  emf.Add(U_EMRENDPATH_set()).Add(U_EMRFILLPATH_set(kAll));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(15, 15), kRed);
  EXPECT_EQ(out.At(85, 85), kRed);
  EXPECT_EQ(out.At(50, 50), kWhite);
  EXPECT_EQ(out.At(85, 40), kWhite);
}

// ---- text ----------------------------------------------------------------------------------

struct TFontSpec {
  std::u16string face = u"DejaVu Sans";
  int32_t height = -20;
  bool underline = false, strikeOut = false;
  uint8_t charSet = U_ANSI_CHARSET;
};

// An EMF page with the font selected, text in black without a background, aligned at its
// baseline.
TEmfBuilder& WithFont(TEmfBuilder& emf, const TFontSpec& font) {
  uint16_t face[U_LF_FACESIZE] = {};
  std::copy_n(font.face.begin(), std::min<size_t>(font.face.size(), U_LF_FACESIZE - 1), face);
  const U_LOGFONT lf = logfont_set(font.height, 0, 0, 0, U_FW_NORMAL, 0, font.underline, font.strikeOut, font.charSet,
                                   U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
  uint32_t h = 0;
  emf.Add(extcreatefontindirectw_set(&h, emf.Handles(), reinterpret_cast<const char*>(&lf), nullptr));
  emf.Add(selectobject_set(h, emf.Handles()));
  emf.Add(U_EMRSETBKMODE_set(U_TRANSPARENT)).Add(U_EMRSETTEXTCOLOR_set(Rgb(0, 0, 0)));
  return emf.Add(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
}

// Single-byte text (EXTTEXTOUTA), advance units per character, from (x, y).
TEmfBuilder& AnsiText(TEmfBuilder& emf, int x, int y, const std::string& bytes, uint32_t advance,
                      uint32_t options = U_ETO_NONE) {
  std::vector<uint32_t> dx(bytes.size(), advance);
  char* body = emrtext_set(U_POINTL{x, y}, U_NUM_STR(bytes.size()), 1, const_cast<char*>(bytes.data()), options,
                           U_RECTL{0, 0, -1, -1}, dx.data());
  emf.Add(U_EMREXTTEXTOUTA_set(U_RECTL{0, 0, -1, -1}, U_GM_COMPATIBLE, 1, 1, reinterpret_cast<PU_EMRTEXT>(body)));
  std::free(body);
  return emf;
}


int Differing(const TImported& a, const TImported& b) {
  int n = 0;
  for (int y = 0; y < a.bitmap.Height(); ++y)
    for (int x = 0; x < a.bitmap.Width(); ++x) n += !(a.At(x, y) == b.At(x, y));
  return n;
}

TEST(MetafileWriterText, FaceNameChoosesTheFont) {
  // An i at 20 pixels: the monospaced face gives it serifs across most of its 12-pixel cell
  // (a base bar of some 10 pixels), the sans-serif face a bare stem of 2 or 3.
  const auto inkWidth = [](const std::u16string& face) {
    TEmfBuilder emf(kSide, kSide);
    TFontSpec font;
    font.face = face;
    WithFont(emf, font).Text(10, 50, u"i", 20);
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    const TInk ink = InkOf(out);
    return ink.right - ink.left + 1;
  };
  EXPECT_GE(inkWidth(u"DejaVu Sans Mono"), 8);
  EXPECT_LE(inkWidth(u"DejaVu Sans"), 4);
}

TEST(MetafileWriterText, FaceWithoutTheScriptGivesWayToSansSerif) {
  // DejaVu Serif has no Arabic letters: cairo would draw boxes. The text takes the sans-serif
  // face, DejaVu Sans, which has them: the picture that face named draws.
  const auto draw = [](const std::u16string& face) {
    TEmfBuilder emf(kSide, kSide);
    TFontSpec font;
    font.face = face;
    WithFont(emf, font).Text(20, 50, u"\u0633\u0644", 25);
    return TImported(emf.Finish(), "emf", kSide, kSide);
  };
  const TImported serif = draw(u"DejaVu Serif"), sans = draw(u"DejaVu Sans");
  EXPECT_GT(InkOf(sans).right, 0);
  EXPECT_EQ(Differing(serif, sans), 0);
}

TEST(MetafileWriterText, UnderlineAndStrikeOutSpanTheAdvances) {
  // Four spaces at 10 units each from x = 20 on the baseline y = 50: only the lines show,
  // across 20..60; the underline a little below the baseline, the strike-out above it by
  // about a third of the ascent (20 × 0.93 / 3, some 6 pixels).
  struct TCase {
    const char* name;
    bool underline, strikeOut;
    int top, bottom;  // the rows the ink may take
  } cases[] = {
      {"underline", true, false, 51, 54},
      {"strike-out", false, true, 42, 46},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    TFontSpec font;
    font.underline = c.underline, font.strikeOut = c.strikeOut;
    AnsiText(WithFont(emf, font), 20, 50, "    ", 10);
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    const TInk ink = InkOf(out);
    ASSERT_GE(ink.right, 0) << "nothing drawn";
    EXPECT_EQ(ink.left, 20);
    EXPECT_EQ(ink.right, 59);
    EXPECT_GE(ink.top, c.top);
    EXPECT_LE(ink.bottom, c.bottom);
    EXPECT_EQ(out.At(40, (ink.top + ink.bottom) / 2), (TRGB{0, 0, 0}));
  }
}

TEST(MetafileWriterText, CharacterSetDecodesSingleByteText) {
  // The byte in the font's code page against the character it stands for, written as
  // Unicode: the same picture. Read as Latin-1 the byte would be another letter.
  struct TCase {
    const char* name;
    uint8_t charSet;
    std::string bytes;
    std::u16string unicode;
  } cases[] = {
      {"Cyrillic", U_RUSSIAN_CHARSET, "\xC6\xE8", u"\u0416\u0438"},
      {"Greek", U_GREEK_CHARSET, "\xD3\xE1", u"\u03A3\u03B1"},
      {"Turkish", U_TURKISH_CHARSET, "\xDE\xFD", u"\u015E\u0131"},
      {"Hebrew", U_HEBREW_CHARSET, "\xF9", u"\u05E9"},
      {"Arabic", U_ARABIC_CHARSET, "\xD3", u"\u0633"},
      {"Central European", U_EASTEUROPE_CHARSET, "\x8A\xF8", u"\u0160\u0159"},
      {"Western", U_ANSI_CHARSET, "\x80\x9C", u"\u20AC\u0153"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFontSpec font;
    font.charSet = c.charSet;
    TEmfBuilder ansi(kSide, kSide);
    AnsiText(WithFont(ansi, font), 20, 50, c.bytes, 20);
    TEmfBuilder wide(kSide, kSide);
    WithFont(wide, font).Text(20, 50, c.unicode, 20);
    const TImported a(ansi.Finish(), "emf", kSide, kSide), w(wide.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(a.aborting || w.aborting) << a.reason << w.reason;
    EXPECT_GT(InkOf(w).right, 0);
    EXPECT_EQ(Differing(a, w), 0);
  }
}

TEST(MetafileWriterText, WmfFontCarriesFaceCharacterSetAndDecorations) {
  // The Greek and Cyrillic capitals A share the Latin one's glyph in DejaVu Sans: the byte
  // of each in its code page draws the picture "A" draws in a Western font. A struck-out
  // font adds a line, an unknown character set's bytes are Latin-1 (Á, with its accent).
  const auto draw = [](uint8_t charSet, const char* text, bool strikeOut = false) {
    TWmfBuilder wmf(kSide, kSide, 96);
    char face[] = "DejaVu Sans";
    U_FONT* font = U_FONT_set(-40, 0, 0, 0, U_FW_NORMAL, 0, 0, strikeOut, charSet, U_OUT_DEFAULT_PRECIS,
                              U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
    uint32_t h = 0;
    wmf.Add(wcreatefontindirect_set(&h, wmf.Handles(), font));
    std::free(font);
    wmf.Add(wselectobject_set(h, wmf.Handles())).Add(U_WMRSETBKMODE_set(U_TRANSPARENT));
    wmf.Add(U_WMRTEXTOUT_set(U_POINT16{20, 20}, const_cast<char*>(text)));
    return TImported(wmf.Finish(), "wmf", kSide, kSide);
  };
  const TImported latin = draw(U_ANSI_CHARSET, "A");
  ASSERT_FALSE(latin.aborting) << latin.reason;
  EXPECT_EQ(Differing(draw(U_GREEK_CHARSET, "\xC1"), latin), 0);
  EXPECT_EQ(Differing(draw(U_RUSSIAN_CHARSET, "\xC0"), latin), 0);
  EXPECT_GT(Differing(draw(U_SYMBOL_CHARSET, "\xC1"), latin), 0);
  EXPECT_GT(Differing(draw(U_ANSI_CHARSET, "A", true), latin), 20);
}

TEST(MetafileWriterText, RightToLeftTextIsDrawnInVisualOrder) {
  // Hebrew alef then bet, 30 units each from x = 10: bet is seen first, on the left. The
  // same two letters written one record each where they are seen give the same picture.
  TFontSpec font;
  TEmfBuilder logical(kSide, kSide);
  WithFont(logical, font).Text(10, 50, u"\u05D0\u05D1", 30);
  TEmfBuilder seen(kSide, kSide);
  WithFont(seen, font).Text(10, 50, u"\u05D1", 30).Text(40, 50, u"\u05D0", 30);
  const TImported a(logical.Finish(), "emf", kSide, kSide), b(seen.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(a.aborting || b.aborting);
  EXPECT_GT(InkOf(b).right, 0);
  EXPECT_EQ(Differing(a, b), 0);
}

TEST(MetafileTextOrder, VisualOrderOfMixedText) {
  // a b: Latin; A B: Hebrew alef, bet; 1 2: digits.
  const auto codes = [](const std::u32string& text) {
    std::vector<metafile::TPlacedChar> out;
    for (char32_t c : text) out.push_back({uint32_t(c), 0});
    return out;
  };
  struct TCase {
    const char* name;
    std::u32string text;
    bool rightToLeft;
    std::u32string seen;
  } cases[] = {
      {"Latin", U"ab cd", false, U"ab cd"},
      {"Hebrew run in Latin", U"ab \u05D0\u05D1 cd", false, U"ab \u05D1\u05D0 cd"},
      {"Hebrew paragraph", U"\u05D0\u05D1 \u05D2", true, U"\u05D2 \u05D1\u05D0"},
      {"numbers and Latin in a Hebrew paragraph", U"\u05D0\u05D1 12 cd", true, U"cd 12 \u05D1\u05D0"},
      {"numbers between Hebrew words", U"\u05D0 12 \u05D1", false, U"\u05D1 12 \u05D0"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<metafile::TPlacedChar> seen = metafile::VisualOrder(codes(c.text), c.rightToLeft);
    std::u32string got;
    for (const auto& ch : seen) got += char32_t(ch.code);
    EXPECT_TRUE(got == c.seen);
  }
}

TEST(MetafileTextOrder, ArabicLettersTakeTheirJoinedForms) {
  struct TCase {
    const char* name;
    std::u32string text, forms;
  } cases[] = {
      // beh, yeh, teh: initial, medial, final.
      {"three joining letters", U"\u0628\u064A\u062A", U"\uFE91\uFEF4\uFE96"},
      // seen, lam-alef, meem: alef joins no letter after it, meem stands alone.
      {"lam-alef ligature", U"\u0633\u0644\u0627\u0645", U"\uFEB3\uFEFC\uFEE1"},
      // A fatha between beh and teh leaves them joined.
      {"mark between letters", U"\u0628\u064E\u062A", U"\uFE91\u064E\uFE96"},
      {"words apart", U"\u0628 \u062A", U"\uFE8F \uFE95"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<metafile::TPlacedChar> text;
    for (char32_t ch : c.text) text.push_back({uint32_t(ch), 10});
    const std::vector<metafile::TPlacedChar> joined = metafile::JoinArabic(text);
    std::u32string got;
    double advance = 0;
    for (const auto& ch : joined) got += char32_t(ch.code), advance += ch.advance;
    EXPECT_TRUE(got == c.forms);
    EXPECT_EQ(advance, 10.0 * double(c.text.size()));
  }
}

// ---- transparency as a mask and a picture ---------------------------------------------------

// 2 × 1 24-bit DIB, left pixel then right, each (r, g, b).
Bytes TwoPixels(TRGB left, TRGB right) {
  // The DIB's bytes are blue, green, red, as TRGB holds them; rows end on four bytes.
  return {left.b, left.g, left.r, right.b, right.g, right.r, 0, 0};
}

TEST(MetafileWriterTransparency, GreyMaskThenPictureIsTranslucent) {
  // On blue, a mask ORed in and then a red picture ANDed into the same rectangle (the left
  // half 0..50, the right 50..100). A grey mask is the picture's opacity: half red over blue
  // at 128, red at 255. A black-and-white mask keeps the raster operations: black leaves
  // blue, ANDed with red: black.
  constexpr TRGB kGrey{128, 128, 128}, kBlack{0, 0, 0};
  struct TCase {
    const char* name;
    TRGB maskLeft;
    TRGB left;  // what the left half must show
  } cases[] = {
      {"grey mask", kGrey, TRGB{127, 0, 128}},
      {"black-and-white mask", kBlack, kBlack},
  };
  for (const char* format : {"emf", "wmf"}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(format) + ", " + c.name);
      TDib mask(2, 1, 24, TwoPixels(c.maskLeft, kWhite)), picture(2, 1, 24, TwoPixels(kRed, kRed));
      Bytes bytes;
      if (format == std::string("emf")) {
        TEmfBuilder emf(kSide, kSide);
        emf.Brush(Rgb(0, 0, 255)).Stock(U_NULL_PEN).Rect(0, 0, kSide, kSide);
        for (auto [dib, rop] : {std::pair{&mask, U_SRCPAINT}, {&picture, U_SRCAND}})
          emf.Add(U_EMRSTRETCHDIBITS_set(kAll, U_POINTL{0, 0}, U_POINTL{kSide, kSide}, U_POINTL{0, 0}, U_POINTL{2, 1},
                                         U_DIB_RGB_COLORS, rop, dib->bmi, dib->Size(), dib->Px()));
        bytes = emf.Finish();
      } else {
        TWmfBuilder wmf(kSide, kSide, 96);
        wmf.Brush(Rgb(0, 0, 255)).Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Rect(0, 0, kSide + 1, kSide + 1);
        for (auto [dib, rop] : {std::pair{&mask, U_SRCPAINT}, {&picture, U_SRCAND}})
          wmf.Add(U_WMRSTRETCHDIB_set(U_POINT16{0, 0}, U_POINT16{kSide, kSide}, U_POINT16{0, 0}, U_POINT16{2, 1},
                                      U_DIB_RGB_COLORS, rop, dib->bmi, dib->Size(), dib->Px()));
        bytes = wmf.Finish();
      }
      const TImported out(bytes, format, kSide, kSide);
      ASSERT_FALSE(out.aborting) << out.reason;
      const TRGB left = out.At(25, 50);
      EXPECT_NEAR(left.r, c.left.r, 2);
      EXPECT_NEAR(left.g, c.left.g, 2);
      EXPECT_NEAR(left.b, c.left.b, 2);
      EXPECT_EQ(out.At(75, 50), kRed);
    }
  }
}

TEST(MetafileWriterTransparency, MaskWithoutItsPictureIsORedIn) {
  // A grey mask followed by anything but its picture draws as its record says: grey ORed
  // into blue.
  TDib mask(2, 1, 24, TwoPixels(TRGB{128, 128, 128}, TRGB{128, 128, 128}));
  TEmfBuilder emf(kSide, kSide);
  emf.Brush(Rgb(0, 0, 255)).Stock(U_NULL_PEN).Rect(0, 0, kSide, kSide);
  emf.Add(U_EMRSTRETCHDIBITS_set(kAll, U_POINTL{0, 0}, U_POINTL{kSide, kSide}, U_POINTL{0, 0}, U_POINTL{2, 1},
                                 U_DIB_RGB_COLORS, U_SRCPAINT, mask.bmi, mask.Size(), mask.Px()));
  emf.Brush(Rgb(0, 255, 0)).Rect(0, 0, 10, 10);
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(50, 50), (TRGB{255, 128, 128}));
  EXPECT_EQ(out.At(5, 5), kGreen);
}

// ---- placeable WMF --------------------------------------------------------------------------

TEST(MetafileWriterPlaceable, FirstWindowIsTheBoundingBox) {
  // The box is 0..100 at 96 units per inch; the file's window (50, 50) + 50 covers only a
  // quarter of what it draws. Red 0..50 lands in the top-left quarter, as in the box. The
  // window then moves by -50: blue 0..25 lands 50 units further on, at 50..75.
  TWmfBuilder wmf(kSide, kSide, 96);
  wmf.Add(U_WMRSETWINDOWORG_set(U_POINT16{50, 50})).Add(U_WMRSETWINDOWEXT_set(U_POINT16{50, 50}));
  wmf.Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Brush(Rgb(255, 0, 0)).Rect(0, 0, 51, 51);
  wmf.Add(U_WMRSETWINDOWORG_set(U_POINT16{0, 0})).Brush(Rgb(0, 0, 255)).Rect(0, 0, 26, 26);
  const TImported out(wmf.Finish(), "wmf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  EXPECT_EQ(out.At(5, 5), kRed);
  EXPECT_EQ(out.At(45, 45), kRed);
  EXPECT_EQ(out.At(55, 55), kBlue);
  EXPECT_EQ(out.At(72, 72), kBlue);
  EXPECT_EQ(out.At(80, 80), kWhite);
  EXPECT_EQ(out.At(80, 20), kWhite);
}

// ---- pens and bitmaps -----------------------------------------------------------------------

TEST(MetafileWriterPens, WidePensOfTheOldKindAreSolid) {
  // A horizontal line across 10..90 at y = 50. Cosmetic-width styled pens and geometric ones
  // keep their gaps; a styled pen of the old kind wider than a pixel is solid.
  struct TCase {
    const char* name;
    uint32_t style;
    int width;
    bool extended;
    bool solid;
  } cases[] = {
      {"PS_DASH 5", U_PS_DASH, 5, false, true},
      {"PS_DOT 3", U_PS_DOT, 3, false, true},
      {"PS_DOT 1", U_PS_DOT, 1, false, false},
      {"geometric PS_DASH 2", U_PS_GEOMETRIC | U_PS_DASH | U_PS_ENDCAP_FLAT, 2, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TEmfBuilder emf(kSide, kSide);
    if (c.extended) {
      PU_EXTLOGPEN elp = extlogpen_set(c.style, uint32_t(c.width), U_BS_SOLID, Rgb(0, 0, 0), 0, 0, nullptr);
      uint32_t h = 0;
      emf.Add(extcreatepen_set(&h, emf.Handles(), nullptr, 0, nullptr, elp));
      emf.Add(selectobject_set(h, emf.Handles()));
      std::free(elp);
    } else {
      emf.Pen(Rgb(0, 0, 0), c.width, c.style);
    }
    emf.Add(U_EMRMOVETOEX_set(U_POINTL{10, 50})).Add(U_EMRLINETO_set(U_POINTL{90, 50}));
    const TImported out(emf.Finish(), "emf", kSide, kSide);
    ASSERT_FALSE(out.aborting) << out.reason;
    int gaps = 0;
    for (int x = 15; x < 85; ++x) gaps += out.At(x, 50) == kWhite;
    if (c.solid)
      EXPECT_EQ(gaps, 0);
    else
      EXPECT_GT(gaps, 5);
  }
}

TEST(MetafileWriterBitmaps, ShrunkBitmapIsSmoothed) {
  // A 40 × 40 checkerboard of single black and white pixels drawn into 10 × 10: every target
  // pixel averages 16 of them, a mid grey. Enlarged four times it keeps its pixels sharp.
  Bytes checks;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      for (int c = 0; c < 3; ++c) checks.push_back((x + y) % 2 ? 255 : 0);
  TDib board(40, 40, 24, checks);
  TEmfBuilder emf(kSide, kSide);
  emf.Add(U_EMRSTRETCHDIBITS_set(kAll, U_POINTL{10, 10}, U_POINTL{10, 10}, U_POINTL{0, 0}, U_POINTL{40, 40},
                                 U_DIB_RGB_COLORS, U_SRCCOPY, board.bmi, board.Size(), board.Px()));
  emf.Add(U_EMRSTRETCHDIBITS_set(kAll, U_POINTL{40, 40}, U_POINTL{40, 40}, U_POINTL{0, 0}, U_POINTL{10, 10},
                                 U_DIB_RGB_COLORS, U_SRCCOPY, board.bmi, board.Size(), board.Px()));
  const TImported out(emf.Finish(), "emf", kSide, kSide);
  ASSERT_FALSE(out.aborting) << out.reason;
  for (int y = 12; y < 18; ++y)
    for (int x = 12; x < 18; ++x) EXPECT_NEAR(out.At(x, y).g, 128, 24) << "at " << x << ", " << y;
  for (int y = 42; y < 78; ++y)
    for (int x = 42; x < 78; ++x) {
      const uint8_t g = out.At(x, y).g;
      EXPECT_TRUE(g == 0 || g == 255) << "at " << x << ", " << y;
    }
}

}  // namespace
}  // namespace velora

// Text recorded as glyph indexes: drawn as its characters when the named font is installed,
// left out when fontconfig could only offer a substitute.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/metafile/metafile_imported.h"

namespace velora {
namespace {

using namespace mftest;

// The glyph indexes of the text in the installed font of that family; empty when the
// family is not installed.
std::u16string GlyphsOf(const char* family, const std::u16string& text) {
  std::u16string glyphs;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* found = nullptr;
  FcChar8* file = nullptr;
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (match && FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
      FcStrCmpIgnoreCase(found, reinterpret_cast<const FcChar8*>(family)) == 0 &&
      FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && FT_Init_FreeType(&library) == 0 &&
      FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face) == 0) {
    for (char16_t c : text) glyphs += char16_t(FT_Get_Char_Index(face, c));
    FT_Done_Face(face);
  }
  if (library) FT_Done_FreeType(library);
  if (match) FcPatternDestroy(match);
  return glyphs;
}

Bytes TextEmf(const std::u16string& face, const std::u16string& text, uint32_t options) {
  TEmfBuilder emf(200, 100);
  emf.Add(U_EMRSETBKMODE_set(U_TRANSPARENT)).Add(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
  emf.Font(-24, 0, U_FW_NORMAL, face);
  emf.Text(20, 60, text, 16, options);
  return emf.Finish();
}

TEST(MetafileGlyphs, IndexesOfTheInstalledFontDrawAsItsCharacters) {
  const std::u16string text = u"Hexagon";
  const std::u16string glyphs = GlyphsOf("DejaVu Sans", text);
  if (glyphs.empty()) GTEST_SKIP() << "DejaVu Sans is not installed";
  const TImported characters(TextEmf(u"DejaVu Sans", text, U_ETO_NONE), "emf", 200, 100);
  const TImported indexes(TextEmf(u"DejaVu Sans", glyphs, U_ETO_GLYPH_INDEX), "emf", 200, 100);
  ASSERT_FALSE(indexes.aborting) << indexes.reason;
  ASSERT_GE(InkOf(characters).right, 0) << "no text drawn";
  for (int y = 0; y < characters.bitmap.Height(); ++y)
    ASSERT_EQ(0, std::memcmp(characters.bitmap.ScanLine(y), indexes.bitmap.ScanLine(y), 3 * size_t(characters.bitmap.Width())))
        << "row " << y;
}

TEST(MetafileGlyphs, IndexesOfAMissingFontAreLeftOut) {
  // fontconfig answers a missing family with its default face, whose indexes these are:
  // drawing through the substitute would show the right letters only by chance.
  const std::u16string glyphs = GlyphsOf("DejaVu Sans", u"Hexagon");
  if (glyphs.empty()) GTEST_SKIP() << "DejaVu Sans is not installed";
  TEmfBuilder emf(200, 100);
  emf.Add(U_EMRSETBKMODE_set(U_TRANSPARENT)).Add(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
  emf.Font(-24, 0, U_FW_NORMAL, u"Velora Missing Sans");
  emf.Text(20, 40, glyphs, 16, U_ETO_GLYPH_INDEX);
  emf.Text(20, 90, u"Hexagon", 16);  // the records after it still draw
  const TImported out(emf.Finish(), "emf", 200, 100);
  ASSERT_FALSE(out.aborting) << out.reason;
  const TInk ink = InkOf(out);
  ASSERT_GE(ink.right, 0) << "the character text was not drawn";
  EXPECT_GT(ink.top, 60);
}

}  // namespace
}  // namespace velora

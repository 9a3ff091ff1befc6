// The characters behind a font's glyph indexes: fontconfig finds the font file of the
// named family, FreeType reads its Unicode character map.
#include "font_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>

#include "metafile_canvas.h"
#include "metafile_player.h"

namespace velora::metafile {

namespace {

// The file and face index of the installed font of exactly that family, weight and slant
// as near as the family has them; false when fontconfig would only offer another family.
bool FindFontFile(const TFont& font, std::string& file, int& index) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.face.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(font.weight > 0 ? font.weight : 400, 1, 1000)));
  FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  bool same = false;
  FcChar8* family = nullptr;
  for (int i = 0; !same && FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i)
    same = FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(font.face.c_str())) == 0;
  FcChar8* path = nullptr;
  if (same && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  } else {
    same = false;
  }
  FcPatternDestroy(match);
  return same;
}

std::string KeyOf(const TFont& font) {
  std::string key;
  for (char c : font.face) key += char(std::tolower(uint8_t(c)));
  return key + (font.weight >= 600 ? "/bold" : "/") + (font.italic ? "/italic" : "/");
}

}  // namespace

TFontGlyphs::TFontGlyphs() = default;

TFontGlyphs::~TFontGlyphs() {
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

std::shared_ptr<const TFontGlyphs::TTable> TFontGlyphs::ReadTable(const TFont& font) {
  std::string file;
  int index = 0;
  if (font.face.empty() || !FindFontFile(font, file, index)) return nullptr;
  if (!library_) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return nullptr;
    library_ = library;
  }
  FT_Face face = nullptr;
  if (FT_New_Face(static_cast<FT_Library>(library_), file.c_str(), index, &face) != 0) return nullptr;
  auto table = std::make_shared<TTable>();
  // A symbol font has no Unicode map: its glyphs stand for no characters we could draw.
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0) {
    FT_UInt glyph = 0;
    // Characters come in rising order: a glyph shared by several keeps the first of them.
    for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0; c = FT_Get_Next_Char(face, c, &glyph))
      table->try_emplace(glyph, uint32_t(c));
  }
  FT_Done_Face(face);
  return table;
}

std::shared_ptr<const TFontGlyphs::TTable> TFontGlyphs::TableOf(const TFont& font) {
  const std::string key = KeyOf(font);
  if (auto known = tables_.find(key); known != tables_.end()) return known->second;
  if (tables_.size() >= kMaxGlyphFonts) return nullptr;
  return tables_[key] = ReadTable(font);
}

bool TFontGlyphs::Characters(const TFont& font, std::span<const uint16_t> glyphs, std::string& utf8) {
  const std::shared_ptr<const TTable> table = TableOf(font);
  if (!table) return false;
  utf8.clear();
  for (uint16_t glyph : glyphs) {
    const auto c = table->find(glyph);
    if (c == table->end()) return false;
    AppendUtf8(utf8, c->second);
  }
  return true;
}

}  // namespace velora::metafile

// Text recorded as glyph indexes (ETO_GLYPH_INDEX) names glyphs of the recording machine's
// font, not characters. When that very font is installed here, its character map read
// backwards gives the characters again; any other font numbers its glyphs its own way, so
// a substitute (the one fontconfig would pick for a missing family) is never used.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

namespace velora::metafile {

struct TFont;

class TFontGlyphs {
 public:
  TFontGlyphs();
  ~TFontGlyphs();
  TFontGlyphs(const TFontGlyphs&) = delete;
  TFontGlyphs& operator=(const TFontGlyphs&) = delete;

  // The glyphs of the font as UTF-8 text; false when the font is not installed under its
  // own name or a glyph has no character of its own (a ligature, an alternate form).
  bool Characters(const TFont& font, std::span<const uint16_t> glyphs, std::string& utf8);

 private:
  using TTable = std::unordered_map<uint32_t, uint32_t>;  // glyph → character
  std::shared_ptr<const TTable> TableOf(const TFont& font);
  std::shared_ptr<const TTable> ReadTable(const TFont& font);

  void* library_ = nullptr;  // FT_Library
  std::map<std::string, std::shared_ptr<const TTable>> tables_;  // null: not installed
};

// The fonts one metafile may ask for before further ones count as missing: each costs a
// font lookup and a walk through a character map.
constexpr size_t kMaxGlyphFonts = 32;

}  // namespace velora::metafile

// Text as the records carry it, made ready to draw: single-byte (and the East Asian double-
// byte) text decoded by the code page its font's character set names, and characters put in
// the order they are seen in, right-to-left scripts running from right to left.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velora::metafile {

// The text in the code page of a LOGFONT character set (ANSI_CHARSET 0, RUSSIAN_CHARSET 204,
// HEBREW_CHARSET 177 ...), as UTF-8. Bytes the code page has no character for come out as
// U+FFFD; a symbol font's bytes are kept as Latin-1.
std::string CharSetToUtf8(const uint8_t* p, size_t bytes, uint8_t charSet);

// One character of a text with the advance the record gives it (0 when it gives none).
struct TPlacedChar {
  uint32_t code;
  double advance;
};

// The character sets whose text reads from right to left.
bool IsRightToLeftCharSet(uint8_t charSet);


// Arabic letters in the forms their neighbours give them (isolated, final, initial, medial,
// from the presentation forms of Unicode, and the lam-alef ligatures), as a shaping engine
// would choose them; the text stays in its logical order. A ligature's advance is the sum of
// its two letters'.
std::vector<TPlacedChar> JoinArabic(const std::vector<TPlacedChar>& text);

// The characters in the order they are seen, left to right: the text's own order for a
// paragraph read from the left; runs of Hebrew, Arabic and the like turned round; and for a
// paragraph read from the right (rightToLeft), all of it turned round but for the runs of
// left-to-right letters and numbers inside it. Each character keeps its advance. This is
// the reordering of the bidirectional algorithm for one embedding level and numbers.
std::vector<TPlacedChar> VisualOrder(std::vector<TPlacedChar> text, bool rightToLeft);

// The characters of UTF-8 text and back.
std::vector<uint32_t> Utf8Codes(const std::string& utf8);
std::string CodesToUtf8(const std::vector<TPlacedChar>& text);

}  // namespace velora::metafile

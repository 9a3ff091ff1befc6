// Code pages through the C library's iconv (glibc knows all of the Windows ones), and the
// visual order of mixed-direction text.
#include "metafile_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "metafile_player.h"

namespace velora::metafile {

namespace {

// The code page of each character set, as iconv names it; null: bytes kept as Latin-1.
const char* CodePageOf(uint8_t charSet) {
  switch (charSet) {
    case 0:   // ANSI_CHARSET
    case 1:   // DEFAULT_CHARSET: the recording machine's, Western on most
      return "CP1252";
    case 77: return "MACINTOSH";
    case 128: return "CP932";  // SHIFTJIS_CHARSET
    case 129: return "CP949";  // HANGUL_CHARSET
    case 130: return "JOHAB";
    case 134: return "CP936";  // GB2312_CHARSET
    case 136: return "CP950";  // CHINESEBIG5_CHARSET
    case 161: return "CP1253";  // GREEK_CHARSET
    case 162: return "CP1254";  // TURKISH_CHARSET
    case 163: return "CP1258";  // VIETNAMESE_CHARSET
    case 177: return "CP1255";  // HEBREW_CHARSET
    case 178: return "CP1256";  // ARABIC_CHARSET
    case 186: return "CP1257";  // BALTIC_CHARSET
    case 204: return "CP1251";  // RUSSIAN_CHARSET
    case 222: return "CP874";   // THAI_CHARSET
    case 238: return "CP1250";  // EASTEUROPE_CHARSET
    case 255: return "CP437";   // OEM_CHARSET
    default: return nullptr;    // SYMBOL_CHARSET and unknown sets
  }
}

// One converter per code page and thread for the thread's life: opening one costs more than
// converting a line of text, and a converter keeps state that threads must not share.
struct TConverters {
  std::map<const char*, iconv_t> open;
  ~TConverters() {
    for (auto& [codePage, converter] : open)
      if (converter != iconv_t(-1)) iconv_close(converter);
  }
};

iconv_t ConverterOf(const char* codePage) {
  thread_local TConverters converters;
  auto known = converters.open.find(codePage);
  if (known != converters.open.end()) return known->second;
  return converters.open[codePage] = iconv_open("UTF-32LE", codePage);
}

enum class TDirection { dLeft, dRight, dNumber, dNeutral };

TDirection DirectionOf(uint32_t c) {
  if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
      (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF)) {
    // Arabic-Indic digits are numbers in the Arabic block.
    if ((c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9)) return TDirection::dNumber;
    return TDirection::dRight;
  }
  if (c >= '0' && c <= '9') return TDirection::dNumber;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return TDirection::dLeft;
  // Beyond ASCII: punctuation, spaces and symbols are neutral; letters of other scripts
  // read from the left.
  if (c < 0xC0 || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) || c == 0xD7 || c == 0xF7)
    return TDirection::dNeutral;
  return TDirection::dLeft;
}

// The presentation forms of the Arabic letters U+0621..U+064A: isolated, final, initial,
// medial (0: the letter has no such form; letters without initial and medial forms join
// only the letter before them).
struct TArabicForms {
  uint16_t isolated, final, initial, medial;
};
constexpr TArabicForms kArabicForms[] = {
    {0xFE80, 0, 0, 0},                  // 0621 hamza
    {0xFE81, 0xFE82, 0, 0},             // 0622 alef with madda
    {0xFE83, 0xFE84, 0, 0},             // 0623 alef with hamza above
    {0xFE85, 0xFE86, 0, 0},             // 0624 waw with hamza
    {0xFE87, 0xFE88, 0, 0},             // 0625 alef with hamza below
    {0xFE89, 0xFE8A, 0xFE8B, 0xFE8C},   // 0626 yeh with hamza
    {0xFE8D, 0xFE8E, 0, 0},             // 0627 alef
    {0xFE8F, 0xFE90, 0xFE91, 0xFE92},   // 0628 beh
    {0xFE93, 0xFE94, 0, 0},             // 0629 teh marbuta
    {0xFE95, 0xFE96, 0xFE97, 0xFE98},   // 062A teh
    {0xFE99, 0xFE9A, 0xFE9B, 0xFE9C},   // 062B theh
    {0xFE9D, 0xFE9E, 0xFE9F, 0xFEA0},   // 062C jeem
    {0xFEA1, 0xFEA2, 0xFEA3, 0xFEA4},   // 062D hah
    {0xFEA5, 0xFEA6, 0xFEA7, 0xFEA8},   // 062E khah
    {0xFEA9, 0xFEAA, 0, 0},             // 062F dal
    {0xFEAB, 0xFEAC, 0, 0},             // 0630 thal
    {0xFEAD, 0xFEAE, 0, 0},             // 0631 reh
    {0xFEAF, 0xFEB0, 0, 0},             // 0632 zain
    {0xFEB1, 0xFEB2, 0xFEB3, 0xFEB4},   // 0633 seen
    {0xFEB5, 0xFEB6, 0xFEB7, 0xFEB8},   // 0634 sheen
    {0xFEB9, 0xFEBA, 0xFEBB, 0xFEBC},   // 0635 sad
    {0xFEBD, 0xFEBE, 0xFEBF, 0xFEC0},   // 0636 dad
    {0xFEC1, 0xFEC2, 0xFEC3, 0xFEC4},   // 0637 tah
    {0xFEC5, 0xFEC6, 0xFEC7, 0xFEC8},   // 0638 zah
    {0xFEC9, 0xFECA, 0xFECB, 0xFECC},   // 0639 ain
    {0xFECD, 0xFECE, 0xFECF, 0xFED0},   // 063A ghain
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},  // 063B..063F
    {0, 0, 0, 0},                       // 0640 tatweel: joins both ways, no forms
    {0xFED1, 0xFED2, 0xFED3, 0xFED4},   // 0641 feh
    {0xFED5, 0xFED6, 0xFED7, 0xFED8},   // 0642 qaf
    {0xFED9, 0xFEDA, 0xFEDB, 0xFEDC},   // 0643 kaf
    {0xFEDD, 0xFEDE, 0xFEDF, 0xFEE0},   // 0644 lam
    {0xFEE1, 0xFEE2, 0xFEE3, 0xFEE4},   // 0645 meem
    {0xFEE5, 0xFEE6, 0xFEE7, 0xFEE8},   // 0646 noon
    {0xFEE9, 0xFEEA, 0xFEEB, 0xFEEC},   // 0647 heh
    {0xFEED, 0xFEEE, 0, 0},             // 0648 waw
    {0xFEEF, 0xFEF0, 0, 0},             // 0649 alef maksura
    {0xFEF1, 0xFEF2, 0xFEF3, 0xFEF4},   // 064A yeh
};
constexpr uint32_t kTatweel = 0x0640, kLam = 0x0644;

const TArabicForms* FormsOf(uint32_t c) {
  return c >= 0x0621 && c <= 0x064A ? &kArabicForms[c - 0x0621] : nullptr;
}
// The marks above and below letters (harakat) stand between letters without parting them.
bool IsJoiningMark(uint32_t c) { return (c >= 0x064B && c <= 0x065F) || c == 0x0670; }
bool JoinsBefore(uint32_t c) { return c == kTatweel || (FormsOf(c) && FormsOf(c)->final); }
bool JoinsAfter(uint32_t c) { return c == kTatweel || (FormsOf(c) && FormsOf(c)->initial); }

// The lam-alef ligature of lam followed by that alef: isolated, final; 0 for no alef.
std::pair<uint16_t, uint16_t> LamAlef(uint32_t alef) {
  switch (alef) {
    case 0x0622: return {0xFEF5, 0xFEF6};
    case 0x0623: return {0xFEF7, 0xFEF8};
    case 0x0625: return {0xFEF9, 0xFEFA};
    case 0x0627: return {0xFEFB, 0xFEFC};
    default: return {0, 0};
  }
}

}  // namespace

std::vector<TPlacedChar> JoinArabic(const std::vector<TPlacedChar>& text) {
  const size_t n = text.size();
  // The letter before and after each one, marks passed over.
  const auto neighbour = [&](size_t i, int step) -> uint32_t {
    for (size_t k = i + step; k < n; k += step)
      if (!IsJoiningMark(text[k].code)) return text[k].code;
    return 0;
  };
  std::vector<TPlacedChar> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t c = text[i].code;
    const TArabicForms* forms = FormsOf(c);
    if (!forms || !forms->isolated) {
      out.push_back(text[i]);
      continue;
    }
    const bool joinsPrevious = forms->final && JoinsAfter(neighbour(i, -1));
    if (c == kLam && i + 1 < n) {
      const auto [isolated, final] = LamAlef(text[i + 1].code);
      if (isolated) {
        out.push_back({joinsPrevious ? final : isolated, text[i].advance + text[i + 1].advance});
        ++i;
        continue;
      }
    }
    const bool joinsNext = forms->initial && JoinsBefore(neighbour(i, 1));
    const uint16_t form = joinsPrevious && joinsNext ? forms->medial
                          : joinsPrevious            ? forms->final
                          : joinsNext                ? forms->initial
                                                     : forms->isolated;
    out.push_back({form, text[i].advance});
  }
  return out;
}

std::string CharSetToUtf8(const uint8_t* p, size_t bytes, uint8_t charSet) {
  // The string ends at its first NUL, as the original platform draws it.
  bytes = size_t(std::find(p, p + bytes, uint8_t(0)) - p);
  const char* codePage = CodePageOf(charSet);
  iconv_t converter = codePage ? ConverterOf(codePage) : iconv_t(-1);
  if (converter == iconv_t(-1)) return AnsiToUtf8(p, bytes);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
  size_t left = bytes;
  while (left > 0) {
    uint32_t codes[64];
    char* to = reinterpret_cast<char*>(codes);
    size_t room = sizeof codes;
    const size_t done = iconv(converter, &in, &left, &to, &room);
    if (left == 0) {
      // Converters that compose (Hebrew and Vietnamese points) hold the last character back
      // until they are flushed.
      iconv(converter, nullptr, nullptr, &to, &room);
    }
    const size_t got = size_t(to - reinterpret_cast<char*>(codes)) / 4;
    for (size_t i = 0; i < got; ++i) AppendUtf8(out, std::min<uint32_t>(codes[i], 0x10FFFF));
    if (done == size_t(-1) && errno != E2BIG) {
      // A byte the code page leaves undefined, or a lead byte without its trail.
      AppendUtf8(out, 0xFFFD);
      ++in, --left;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool IsRightToLeftCharSet(uint8_t charSet) { return charSet == 177 || charSet == 178; }

std::vector<TPlacedChar> VisualOrder(std::vector<TPlacedChar> text, bool rightToLeft) {
  // Levels: 0 for left-to-right, 1 for right-to-left; in a paragraph read from the right,
  // left-to-right letters and numbers are 2, numbers among right-to-left ones too.
  const size_t n = text.size();
  std::vector<TDirection> kind(n);
  for (size_t i = 0; i < n; ++i) kind[i] = DirectionOf(text[i].code);
  const int base = rightToLeft ? 1 : 0;
  std::vector<int> level(n, base);
  // Numbers after left-to-right letters (or opening a paragraph read from the left) are
  // part of the left-to-right text; any others run left to right inside right-to-left text.
  std::vector<bool> rightNumber(n, false);
  bool afterRight = rightToLeft;
  for (size_t i = 0; i < n; ++i) {
    if (kind[i] == TDirection::dRight) afterRight = true;
    if (kind[i] == TDirection::dLeft) afterRight = false;
    rightNumber[i] = kind[i] == TDirection::dNumber && afterRight;
  }
  for (size_t i = 0; i < n; ++i) {
    if (kind[i] == TDirection::dRight) level[i] = 1;
    else if (kind[i] == TDirection::dLeft) level[i] = rightToLeft ? 2 : 0;
    else if (kind[i] == TDirection::dNumber) level[i] = rightToLeft || rightNumber[i] ? 2 : 0;
  }
  // A neutral between two strong characters of one direction takes it (numbers in
  // right-to-left text count as right-to-left); any other takes the paragraph's.
  const auto strongRight = [&](size_t i) { return kind[i] == TDirection::dRight || rightNumber[i]; };
  for (size_t i = 0; i < n;) {
    if (kind[i] != TDirection::dNeutral) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < n && kind[end] == TDirection::dNeutral) ++end;
    if (i > 0 && end < n) {
      const bool before = strongRight(i - 1), after = strongRight(end);
      const bool beforeLeft = kind[i - 1] == TDirection::dLeft || (kind[i - 1] == TDirection::dNumber && !rightNumber[i - 1]);
      const bool afterLeft = kind[end] == TDirection::dLeft || (kind[end] == TDirection::dNumber && !rightNumber[end]);
      if (before && after) std::fill(level.begin() + long(i), level.begin() + long(end), 1);
      else if (beforeLeft && afterLeft) std::fill(level.begin() + long(i), level.begin() + long(end), rightToLeft ? 2 : 0);
    }
    i = end;
  }
  // From the highest level down, every run at that level or above is turned round.
  const int highest = n ? *std::max_element(level.begin(), level.end()) : 0;
  for (int l = highest; l >= 1; --l)
    for (size_t i = 0; i < n;) {
      if (level[i] < l) {
        ++i;
        continue;
      }
      size_t end = i;
      while (end < n && level[end] >= l) ++end;
      std::reverse(text.begin() + long(i), text.begin() + long(end));
      std::reverse(level.begin() + long(i), level.begin() + long(end));
      i = end;
    }
  return text;
}

std::vector<uint32_t> Utf8Codes(const std::string& utf8) {
  std::vector<uint32_t> codes;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t lead = uint8_t(utf8[i]);
    const size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t c = len == 1 ? lead : len == 2 ? lead & 0x1F : len == 3 ? lead & 0x0F : lead & 0x07;
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) c = c << 6 | (uint8_t(utf8[i + k]) & 0x3F);
    codes.push_back(c);
    i += len;
  }
  return codes;
}

std::string CodesToUtf8(const std::vector<TPlacedChar>& text) {
  std::string out;
  for (const TPlacedChar& c : text) AppendUtf8(out, c.code);
  return out;
}

}  // namespace velora::metafile

// Basic value types shared by the whole library.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velora {

// A colour of three bytes in memory order blue, green, red: one pixel of a 24-bit row and one
// palette entry.
struct TRGB {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3);

inline TRGB MakeRGB(uint8_t r, uint8_t g, uint8_t b) { return TRGB{b, g, r}; }

// A toolkit colour: 0x00BBGGRR. The top bit marks a system colour (clBtnFace and the like),
// resolved at the drawing boundary.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;

inline uint8_t GetRValue(TColor c) { return uint8_t(c); }
inline uint8_t GetGValue(TColor c) { return uint8_t(c >> 8); }
inline uint8_t GetBValue(TColor c) { return uint8_t(c >> 16); }
inline TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) { return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16); }
inline TRGB TColorToTRGB(TColor c) { return TRGB{GetBValue(c), GetGValue(c), GetRValue(c)}; }
inline TColor TRGBToTColor(TRGB c) { return RGBColor(c.r, c.g, c.b); }

// A rectangle with exclusive right and bottom ends.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The part two rectangles share; empty (no width or no height) when they do not meet.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

// Nearest integer, ties to even, kept inside the int range: zoomed coordinates of a huge
// image must not overflow.
inline int RoundToInt(double v) { return int(std::clamp(std::nearbyint(v), -2147483647.0, 2147483647.0)); }

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Root of the library's objects that are handed around as an event's Sender.
class TVLObject {
 public:
  virtual ~TVLObject() = default;
};

}  // namespace velora

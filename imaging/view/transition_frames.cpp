// The thirty frame rules. Every copy is clipped to the frame: the rounded widths and the
// placements of the rules can reach one pixel (or a whole picture) past its edges.
#include "view/transition_frames.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velora {

namespace {

constexpr const char* kNames[kTransitionTypeCount] = {
    "vlttNone",           "vlttCrossDissolve",   "vlttFadeOut",         "vlttFadeIn",
    "vlttFadeOutIn",      "vlttLeftRight1",      "vlttLeftRight2",      "vlttRightLeft1",
    "vlttRightLeft2",     "vlttUpDown1",         "vlttUpDown2",         "vlttDownUp1",
    "vlttDownUp2",        "vlttFromUpLeft",      "vlttFromUpRight",     "vlttFromBottomLeft",
    "vlttFromBottomRight", "vlttMoveLeftRight1", "vlttMoveLeftRight2",  "vlttMoveRightLeft1",
    "vlttMoveRightLeft2", "vlttMoveUpDown1",     "vlttMoveUpDown2",     "vlttMoveDownUp1",
    "vlttMoveDownUp2",    "vlttRandomPoints",    "vlttRandomBoxes",     "vlttCenter1",
    "vlttCenter2",        "vlttCenterZoom1",     "vlttCenterZoom2",
};

constexpr TRGB kRed{0, 0, 255};

// ---- blends: out = (a × (1024 − p) + b × p) >> 10 on every byte

// An operand of a blend: a picture row, or the background colour repeated along the row.
// The colour is laid out over 64 bytes from a multiple of 3, so that the bytes from offset o
// on are found at `bytes + o % 48` (48 is a multiple of both 3 and 16).
struct TRowOperand {
  const uint8_t* Row;
  const uint8_t* At(size_t offset) const { return Row + offset; }
};
struct TColourOperand {
  uint8_t Bytes[64];
  explicit TColourOperand(TRGB c) {
    for (int i = 0; i < 64; i += 3) {
      Bytes[i] = c.b;
      if (i + 1 < 64) Bytes[i + 1] = c.g;
      if (i + 2 < 64) Bytes[i + 2] = c.r;
    }
  }
  const uint8_t* At(size_t offset) const { return Bytes + offset % 48; }
};

template <class A, class B>
void BlendRow(uint8_t* out, const A& a, const B& b, size_t n, int p) {
  const int q = kTransitionFull - p;
  size_t i = 0;
#if defined(__SSE2__)
  // Byte pairs (a, b) as 16-bit lanes against the weights (q, p): one multiply-add gives the
  // 32-bit sum exactly, so the vector path and the tail agree to the bit.
  const __m128i weights = _mm_set1_epi32(int(uint32_t(q) | (uint32_t(p) << 16)));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.At(i)));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.At(i)));
    const __m128i alo = _mm_unpacklo_epi8(va, zero), ahi = _mm_unpackhi_epi8(va, zero);
    const __m128i blo = _mm_unpacklo_epi8(vb, zero), bhi = _mm_unpackhi_epi8(vb, zero);
    const __m128i s0 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), weights), 10);
    const __m128i s1 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), weights), 10);
    const __m128i s2 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), weights), 10);
    const __m128i s3 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), weights), 10);
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
  }
#endif
  for (; i < n; ++i) out[i] = uint8_t((*a.At(i) * q + *b.At(i) * p) >> 10);
}

void CrossDissolve(const TTransitionPictures& t, int p) {
  const size_t n = size_t(t.Width) * 3;
  for (int y = 0; y < t.Height; ++y) BlendRow(t.Frame[y], TRowOperand{t.Source[y]}, TRowOperand{t.Target[y]}, n, p);
}

// The source fading into the background as p grows.
void FadeOut(const TTransitionPictures& t, int p) {
  const size_t n = size_t(t.Width) * 3;
  const TColourOperand bg(t.Background);
  for (int y = 0; y < t.Height; ++y) BlendRow(t.Frame[y], TRowOperand{t.Source[y]}, bg, n, p);
}

// The target coming out of the background as p grows.
void FadeIn(const TTransitionPictures& t, int p) {
  const size_t n = size_t(t.Width) * 3;
  const TColourOperand bg(t.Background);
  for (int y = 0; y < t.Height; ++y) BlendRow(t.Frame[y], bg, TRowOperand{t.Target[y]}, n, p);
}

// ---- copies, clipped to the frame

// Copies `width` pixels of row `from` starting at column `fromX` to row `to` at column `toX`,
// keeping only the columns that fall inside both rows (0 .. w − 1).
void CopyPixels(uint8_t* to, int toX, const uint8_t* from, int fromX, int width, int w) {
  int lead = std::max({0, -toX, -fromX});
  toX += lead, fromX += lead, width -= lead;
  width = std::min({width, w - toX, w - fromX});
  if (width > 0) std::memmove(to + size_t(toX) * 3, from + size_t(fromX) * 3, size_t(width) * 3);
}

// The picture `rows` drawn unscaled with its top-left corner at (x, y) of the frame, clipped.
void DrawPicture(const TTransitionPictures& t, const uint8_t* const* rows, int x, int y) {
  const int top = std::max(0, y), bottom = std::min(t.Height, y + t.Height);
  for (int fy = top; fy < bottom; ++fy) CopyPixels(t.Frame[fy], x, rows[fy - y], 0, t.Width, t.Width);
}

// Copies the rectangle (x, y, w, h) of `rows` to the same place of the frame, clipped.
void CopyRect(const TTransitionPictures& t, const uint8_t* const* rows, int64_t x, int64_t y, int64_t w, int64_t h) {
  const int64_t left = std::max<int64_t>(0, x), right = std::min<int64_t>(t.Width, x + w);
  const int64_t top = std::max<int64_t>(0, y), bottom = std::min<int64_t>(t.Height, y + h);
  if (left >= right) return;
  for (int64_t fy = top; fy < bottom; ++fy)
    std::memcpy(t.Frame[fy] + left * 3, rows[fy] + left * 3, size_t(right - left) * 3);
}

void CopyAll(const TTransitionPictures& t, const uint8_t* const* rows) { CopyRect(t, rows, 0, 0, t.Width, t.Height); }

// A one-pixel red line across the frame, when it falls inside it.
void RedColumn(const TTransitionPictures& t, int64_t x) {
  if (x < 0 || x >= t.Width) return;
  for (int y = 0; y < t.Height; ++y) {
    uint8_t* px = t.Frame[y] + x * 3;
    px[0] = kRed.b, px[1] = kRed.g, px[2] = kRed.r;
  }
}
void RedRow(const TTransitionPictures& t, int64_t y) {
  if (y < 0 || y >= t.Height) return;
  uint8_t* row = t.Frame[y];
  for (int x = 0; x < t.Width; ++x) row[x * 3] = kRed.b, row[x * 3 + 1] = kRed.g, row[x * 3 + 2] = kRed.r;
}

// The whole picture `rows` stretched (nearest pixel, no smoothing) into the rectangle
// (x, y, w, h) of the frame, clipped. The source coordinate of destination column i is
// floor(i × W / w), stepped without a division per pixel.
void StretchPicture(const TTransitionPictures& t, const uint8_t* const* rows, int64_t x, int64_t y, int64_t w,
                    int64_t h) {
  if (w <= 0 || h <= 0) return;
  const int64_t W = t.Width, H = t.Height;
  const int64_t top = std::max<int64_t>(0, y), bottom = std::min<int64_t>(H, y + h);
  const int64_t left = std::max<int64_t>(0, x), right = std::min<int64_t>(W, x + w);
  const int64_t stepWhole = W / w, stepPart = W % w;
  for (int64_t fy = top; fy < bottom; ++fy) {
    const uint8_t* from = rows[((fy - y) * H) / h];
    uint8_t* to = t.Frame[fy];
    int64_t sx = ((left - x) * W) / w, err = ((left - x) * W) % w;
    for (int64_t fx = left; fx < right; ++fx) {
      const uint8_t* s = from + sx * 3;
      uint8_t* d = to + fx * 3;
      d[0] = s[0], d[1] = s[1], d[2] = s[2];
      sx += stepWhole;
      err += stepPart;
      if (err >= w) err -= w, ++sx;
    }
  }
}

// ---- the rules

void Wipe(TVLTransitionType effect, const TTransitionPictures& t, int p) {
  const int64_t W = t.Width, H = t.Height;
  switch (effect) {
    case vlttLeftRight1:
    case vlttLeftRight2: {
      const int64_t c = (p * W) >> 10;
      CopyRect(t, t.Target, 0, 0, c, H);
      if (effect == vlttLeftRight2) RedColumn(t, c);
      break;
    }
    case vlttRightLeft1:
    case vlttRightLeft2: {
      const int64_t x = RoundDiv1024(W * (kTransitionFull - p));
      CopyRect(t, t.Target, x, 0, RoundDiv1024(p * W), H);
      if (effect == vlttRightLeft2) RedColumn(t, x);
      break;
    }
    case vlttUpDown1:
    case vlttUpDown2: {
      const int64_t y = RoundDiv1024(p * H);
      CopyRect(t, t.Target, 0, 0, W, y);
      if (effect == vlttUpDown2) RedRow(t, y);
      break;
    }
    case vlttDownUp1:
    case vlttDownUp2: {
      const int64_t y = RoundDiv1024(H * (kTransitionFull - p));
      CopyRect(t, t.Target, 0, y, W, RoundDiv1024(p * H));
      if (effect == vlttDownUp2) RedRow(t, y);
      break;
    }
    default: break;
  }
}

void FromCorner(TVLTransitionType effect, const TTransitionPictures& t, int p) {
  const int dx = int(((kTransitionFull - p) * int64_t(t.Width)) >> 10);
  const int dy = int(((kTransitionFull - p) * int64_t(t.Height)) >> 10);
  const bool left = effect == vlttFromUpLeft || effect == vlttFromBottomLeft;
  const bool up = effect == vlttFromUpLeft || effect == vlttFromUpRight;
  DrawPicture(t, t.Target, left ? -dx : dx, up ? -dy : dy);
}

// Each row: `first` pixels of row a starting at column aFrom, then W − first pixels of row b
// starting at column bFrom.
void SplitRow(uint8_t* out, const uint8_t* a, int64_t aFrom, const uint8_t* b, int64_t bFrom, int64_t first, int64_t W) {
  std::memcpy(out, a + aFrom * 3, size_t(first) * 3);
  std::memcpy(out + first * 3, b + bFrom * 3, size_t(W - first) * 3);
}

void MoveHorizontal(TVLTransitionType effect, const TTransitionPictures& t, int p) {
  const int64_t W = t.Width;
  const bool targetFirst = effect == vlttMoveLeftRight1 || effect == vlttMoveLeftRight2;
  const int64_t c = std::clamp<int64_t>(((targetFirst ? p : kTransitionFull - p) * W) >> 10, 0, W);
  const bool fromEnd = effect == vlttMoveLeftRight1 || effect == vlttMoveRightLeft1;
  for (int y = 0; y < t.Height; ++y) {
    const uint8_t* first = targetFirst ? t.Target[y] : t.Source[y];
    const uint8_t* second = targetFirst ? t.Source[y] : t.Target[y];
    SplitRow(t.Frame[y], first, fromEnd ? W - c : 0, second, 0, c, W);
  }
}

void CopyRows(const TTransitionPictures& t, int64_t to, const uint8_t* const* rows, int64_t from, int64_t count) {
  for (int64_t i = 0; i < count; ++i) std::memcpy(t.Frame[to + i], rows[from + i], size_t(t.Width) * 3);
}

void MoveVertical(TVLTransitionType effect, const TTransitionPictures& t, int p) {
  const int64_t H = t.Height;
  switch (effect) {
    case vlttMoveUpDown1:
    case vlttMoveUpDown2: {
      const int64_t n = std::clamp<int64_t>((p * H) >> 10, 0, H);
      CopyRows(t, 0, t.Target, effect == vlttMoveUpDown1 ? H - n : 0, n);
      CopyRows(t, n, t.Source, 0, H - n);
      break;
    }
    case vlttMoveDownUp1:
    case vlttMoveDownUp2: {
      const int64_t n = std::clamp<int64_t>(((kTransitionFull - p) * H) >> 10, 0, H);
      CopyRows(t, 0, t.Source, H - n, n);
      CopyRows(t, n, t.Target, effect == vlttMoveDownUp1 ? 0 : n, H - n);
      break;
    }
    default: break;
  }
}

void RandomPoints(const TTransitionPictures& t, int p, TTransitionRandomState& random) {
  const int64_t k = RandomPointsCount(p, t.Width);
  const int64_t added = k - random.Counter;
  if (added <= 0) return;
  random.Counter = k;
  for (int y = 0; y < t.Height; ++y) {
    const uint8_t* from = t.Target[y];
    uint8_t* to = t.Frame[y];
    for (int64_t i = 0; i < added; ++i) {
      const int x3 = random.Generator.Below(t.Width) * 3;
      to[x3] = from[x3], to[x3 + 1] = from[x3 + 1], to[x3 + 2] = from[x3 + 2];
    }
  }
}

void RandomBoxes(const TTransitionPictures& t, int p, TTransitionRandomState& random) {
  const int64_t k = RandomBoxesCount(p, t.Width, t.Height);
  const int64_t added = k - random.Counter;
  if (added <= 0) return;
  random.Counter = k;
  for (int64_t i = 0; i < added; ++i) {
    const int x = random.Generator.Below(t.Width) & ~7;
    const int y = random.Generator.Below(t.Height) & ~7;
    CopyRect(t, t.Target, x, y, 8, 8);
  }
}

// The centred rectangle of the centre effects for progress p.
struct TCentreRect {
  int64_t X, Y, W, H;
};
TCentreRect CentreRect(const TTransitionPictures& t, int p) {
  const int64_t W = t.Width, H = t.Height;
  return TCentreRect{W / 2 - ((p * (W / 2)) >> 10), H / 2 - ((p * (H / 2)) >> 10), (p * W) >> 10, (p * H) >> 10};
}

// vlttCenter1 and vlttCenterZoom1 grow the target over the frame; the second forms show the
// target with the source shrinking over it.
void Centre(TVLTransitionType effect, const TTransitionPictures& t, int p) {
  const bool grows = effect == vlttCenter1 || effect == vlttCenterZoom1;
  const bool stretched = effect == vlttCenterZoom1 || effect == vlttCenterZoom2;
  const TCentreRect r = CentreRect(t, grows ? p : kTransitionFull - p);
  if (!grows) CopyAll(t, t.Target);
  const uint8_t* const* picture = grows ? t.Target : t.Source;
  if (stretched)
    StretchPicture(t, picture, r.X, r.Y, r.W, r.H);
  else
    CopyRect(t, picture, r.X, r.Y, r.W, r.H);
}

// The effects whose frame starts as the source at p = 0 and is only added to afterwards.
bool DrawsFromSource(TVLTransitionType effect) {
  return (effect >= vlttLeftRight1 && effect <= vlttFromBottomRight) || effect == vlttRandomPoints ||
         effect == vlttRandomBoxes || effect == vlttCenter1 || effect == vlttCenterZoom1;
}

}  // namespace

const char* TransitionName(TVLTransitionType effect) {
  return unsigned(effect) < unsigned(kTransitionTypeCount) ? kNames[effect] : "";
}

bool TransitionFromName(std::string_view name, TVLTransitionType& effect) {
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  const std::string wanted = lower(name);
  for (int i = 0; i < kTransitionTypeCount; ++i) {
    const std::string full = lower(kNames[i]);
    if (wanted == full || wanted == full.substr(4)) {
      effect = TVLTransitionType(i);
      return true;
    }
  }
  return false;
}

int64_t RoundDiv1024(int64_t n) {
  int64_t q = n >> 10;
  const int64_t r = n & 1023;
  if (r > 512 || (r == 512 && (q & 1))) ++q;
  return q;
}

// The counts grow as p², reaching about 5.7 per column (or per box place) at the end. The
// products are taken in 64 bits and floating point: p × ((W × H) div 64) passes 32 bits on
// views of a few million pixels.
int64_t RandomPointsCount(int p, int width) {
  return int64_t(std::nearbyint(double(int64_t(p) * width) * (p / 180.0) / 1024.0));
}

int64_t RandomBoxesCount(int p, int width, int height) {
  const int64_t places = (int64_t(width) * height) / 64;
  return int64_t(std::nearbyint(double(int64_t(p) * places) * (p / 180.0) / 1024.0));
}

void DrawTransitionFrame(TVLTransitionType effect, const TTransitionPictures& t, int p,
                         TTransitionRandomState& random) {
  if (t.Width <= 0 || t.Height <= 0) return;
  p = std::clamp(p, 0, kTransitionFull);
  if (p == 0 && DrawsFromSource(effect)) {
    CopyAll(t, t.Source);
    random.Counter = 0;
    return;
  }
  // The table's families lie in runs of the enumeration.
  auto among = [effect](TVLTransitionType first, TVLTransitionType last) { return effect >= first && effect <= last; };
  if (among(vlttLeftRight1, vlttDownUp2)) return Wipe(effect, t, p);
  if (among(vlttFromUpLeft, vlttFromBottomRight)) return FromCorner(effect, t, p);
  if (among(vlttMoveLeftRight1, vlttMoveRightLeft2)) return MoveHorizontal(effect, t, p);
  if (among(vlttMoveUpDown1, vlttMoveDownUp2)) return MoveVertical(effect, t, p);
  if (among(vlttCenter1, vlttCenterZoom2)) return Centre(effect, t, p);
  switch (effect) {
    case vlttNone: CopyAll(t, t.Target); break;
    case vlttCrossDissolve: CrossDissolve(t, p); break;
    case vlttFadeOut: FadeOut(t, p); break;
    case vlttFadeIn: FadeIn(t, p); break;
    case vlttFadeOutIn:
      if (p < 512)
        FadeOut(t, 2 * p);
      else
        FadeIn(t, 2 * p - kTransitionFull);
      break;
    case vlttRandomPoints: RandomPoints(t, p, random); break;
    case vlttRandomBoxes: RandomBoxes(t, p, random); break;
    default: break;
  }
}

void TTransitionRows::Take(const TBitmap& source, const TBitmap& target, TBitmap& frame) {
  Width = frame.Width();
  Height = frame.Height();
  const size_t rows = size_t(std::max(Height, 0));
  Source.resize(rows);
  Target.resize(rows);
  Frame.resize(rows);
  for (int y = 0; y < Height; ++y) {
    Source[size_t(y)] = source.ScanLine(y);
    Target[size_t(y)] = target.ScanLine(y);
    Frame[size_t(y)] = frame.ScanLine(y);
  }
}

void DrawTransitionFrameFromStart(TVLTransitionType effect, const TTransitionPictures& pictures, int p,
                                  TTransitionRandomState& random) {
  random.Counter = 0;
  DrawTransitionFrame(effect, pictures, 0, random);
  if (p > 0) DrawTransitionFrame(effect, pictures, p, random);
}

}  // namespace velora

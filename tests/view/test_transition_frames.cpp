// The frame rules of the transition effects, without a window: every pixel of a frame is
// checked against the rule written per pixel, on sizes where the rounded widths and the
// placements reach past the frame, with guard bytes around it to catch writes outside.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "view/transition_frames.h"

using namespace velora;

namespace {

constexpr TRGB kBg{50, 60, 70};
constexpr TRGB kRedPixel{0, 0, 255};
constexpr uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 16;

// Pixels that tell where they came from: r names the picture, b and g the position.
TRGB SourcePixel(int x, int y) { return TRGB{uint8_t(x), uint8_t(y), 1}; }
TRGB TargetPixel(int x, int y) { return TRGB{uint8_t(x), uint8_t(y), 2}; }

// A source, a target and a frame of w × h; the frame has guard bytes before and after every
// row and a guard row above and below, reachable through row indexes −1 and h.
struct TFixture {
  int W, H;
  std::vector<std::vector<uint8_t>> SourceBytes, TargetBytes;
  std::vector<uint8_t> FrameBytes;
  std::vector<const uint8_t*> SourceRows, TargetRows;
  std::vector<uint8_t*> FrameRows;  // h + 2 entries, the picture's rows from index 1
  TTransitionRandomState Random;

  TFixture(int w, int h, std::function<TRGB(int, int)> source = SourcePixel,
           std::function<TRGB(int, int)> target = TargetPixel)
      : W(w), H(h) {
    const size_t stride = size_t(w) * 3 + 2 * kGuardBytes;
    FrameBytes.assign(stride * size_t(h + 2), kGuard);
    for (int y = -1; y <= h; ++y) FrameRows.push_back(FrameBytes.data() + stride * size_t(y + 1) + kGuardBytes);
    for (int y = 0; y < h; ++y) {
      SourceBytes.push_back(Row(w, y, source));
      TargetBytes.push_back(Row(w, y, target));
    }
    for (int y = 0; y < h; ++y) {
      SourceRows.push_back(SourceBytes[size_t(y)].data());
      TargetRows.push_back(TargetBytes[size_t(y)].data());
    }
    Reset();
  }
  // Garbage in the frame, so that a rule that leaves a pixel unwritten shows; a fixed seed.
  void Reset() {
    for (int y = 0; y < H; ++y) std::memset(FrameRows[size_t(y + 1)], 0xEE, size_t(W) * 3);
    Random.Counter = 0;
    Random.Generator.Seed(12345);
  }
  static std::vector<uint8_t> Row(int w, int y, const std::function<TRGB(int, int)>& f) {
    std::vector<uint8_t> r(size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
      const TRGB c = f(x, y);
      r[size_t(x) * 3] = c.b, r[size_t(x) * 3 + 1] = c.g, r[size_t(x) * 3 + 2] = c.r;
    }
    return r;
  }
  TTransitionPictures Pictures() {
    return TTransitionPictures{SourceRows.data(), TargetRows.data(), FrameRows.data() + 1, W, H, kBg};
  }
  TRGB At(int x, int y) const {
    const uint8_t* p = FrameRows[size_t(y + 1)] + size_t(x) * 3;
    return TRGB{p[0], p[1], p[2]};
  }
  void DrawFromStart(TVLTransitionType e, int p) { DrawTransitionFrameFromStart(e, Pictures(), p, Random); }
  void Draw(TVLTransitionType e, int p) { DrawTransitionFrame(e, Pictures(), p, Random); }
  bool GuardsIntact() const {
    const size_t stride = size_t(W) * 3 + 2 * kGuardBytes;
    auto clean = [](const uint8_t* p, size_t n) {
      for (size_t i = 0; i < n; ++i)
        if (p[i] != kGuard) return false;
      return true;
    };
    const uint8_t* bytes = FrameBytes.data();
    if (!clean(bytes, stride) || !clean(bytes + stride * size_t(H + 1), stride)) return false;
    for (int y = 1; y <= H; ++y) {
      const uint8_t* row = bytes + stride * size_t(y);
      if (!clean(row, kGuardBytes) || !clean(row + stride - kGuardBytes, kGuardBytes)) return false;
    }
    return true;
  }
  template <class F>
  int CountWhere(const F& f) const {
    int n = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) n += f(x, y);
    return n;
  }
};

uint8_t Mix(uint8_t a, uint8_t b, int p) { return uint8_t((a * (1024 - p) + b * p) >> 10); }
TRGB Mix(TRGB a, TRGB b, int p) { return TRGB{Mix(a.b, b.b, p), Mix(a.g, b.g, p), Mix(a.r, b.r, p)}; }
// Round to nearest, ties to even, in floating point: independent of the rules' integer rounding.
int64_t Rnd(int64_t n) { return int64_t(std::nearbyint(double(n) / 1024.0)); }
bool In(int64_t v, int64_t from, int64_t count) { return v >= from && v < from + count; }

// The table's rule for one pixel of the deterministic effects, at progress p, for a run that
// went from the start straight to p.
TRGB Expected(TVLTransitionType e, int x, int y, int p, int W, int H) {
  const TRGB s = SourcePixel(x, y), t = TargetPixel(x, y);
  const int q = 1024 - p;
  const int64_t cx = (int64_t(p) * W) >> 10, cy = (int64_t(p) * H) >> 10;
  const int64_t qx = (int64_t(q) * W) >> 10, qy = (int64_t(q) * H) >> 10;
  auto centre = [&](int r, int64_t& rx, int64_t& ry, int64_t& rw, int64_t& rh) {
    rx = W / 2 - ((int64_t(r) * (W / 2)) >> 10), ry = H / 2 - ((int64_t(r) * (H / 2)) >> 10);
    rw = (int64_t(r) * W) >> 10, rh = (int64_t(r) * H) >> 10;
  };
  int64_t rx, ry, rw, rh;
  const bool drawsFromSource = (e >= vlttLeftRight1 && e <= vlttFromBottomRight) || e == vlttCenter1 || e == vlttCenterZoom1;
  if (p == 0 && drawsFromSource) return s;
  switch (e) {
    case vlttNone: return t;
    case vlttCrossDissolve: return Mix(s, t, p);
    case vlttFadeOut: return Mix(s, kBg, p);
    case vlttFadeIn: return Mix(kBg, t, p);
    case vlttFadeOutIn: return p < 512 ? Mix(s, kBg, 2 * p) : Mix(kBg, t, 2 * p - 1024);
    case vlttLeftRight1: return x < cx ? t : s;
    case vlttLeftRight2: return x == cx ? kRedPixel : x < cx ? t : s;
    case vlttRightLeft1:
    case vlttRightLeft2: {
      const int64_t x0 = Rnd(int64_t(W) * q);
      if (e == vlttRightLeft2 && x == x0) return kRedPixel;
      return In(x, x0, Rnd(int64_t(p) * W)) ? t : s;
    }
    case vlttUpDown1:
    case vlttUpDown2: {
      const int64_t y0 = Rnd(int64_t(H) * p);
      if (e == vlttUpDown2 && y == y0) return kRedPixel;
      return y < y0 ? t : s;
    }
    case vlttDownUp1:
    case vlttDownUp2: {
      const int64_t y0 = Rnd(int64_t(H) * q);
      if (e == vlttDownUp2 && y == y0) return kRedPixel;
      return In(y, y0, Rnd(int64_t(p) * H)) ? t : s;
    }
    case vlttFromUpLeft:
    case vlttFromUpRight:
    case vlttFromBottomLeft:
    case vlttFromBottomRight: {
      const bool left = e == vlttFromUpLeft || e == vlttFromBottomLeft, up = e == vlttFromUpLeft || e == vlttFromUpRight;
      const int64_t ox = left ? -qx : qx, oy = up ? -qy : qy;
      return In(x - ox, 0, W) && In(y - oy, 0, H) ? TargetPixel(int(x - ox), int(y - oy)) : s;
    }
    case vlttMoveLeftRight1: return x < cx ? TargetPixel(int(W - cx + x), y) : SourcePixel(int(x - cx), y);
    case vlttMoveLeftRight2: return x < cx ? TargetPixel(x, y) : SourcePixel(int(x - cx), y);
    case vlttMoveRightLeft1: return x < qx ? SourcePixel(int(W - qx + x), y) : TargetPixel(int(x - qx), y);
    case vlttMoveRightLeft2: return x < qx ? SourcePixel(x, y) : TargetPixel(int(x - qx), y);
    case vlttMoveUpDown1: return y < cy ? TargetPixel(x, int(H - cy + y)) : SourcePixel(x, int(y - cy));
    case vlttMoveUpDown2: return y < cy ? TargetPixel(x, y) : SourcePixel(x, int(y - cy));
    case vlttMoveDownUp1: return y < qy ? SourcePixel(x, int(H - qy + y)) : TargetPixel(x, int(y - qy));
    case vlttMoveDownUp2: return y < qy ? SourcePixel(x, int(H - qy + y)) : TargetPixel(x, y);
    case vlttCenter1: centre(p, rx, ry, rw, rh); return In(x, rx, rw) && In(y, ry, rh) ? t : s;
    case vlttCenter2: centre(q, rx, ry, rw, rh); return In(x, rx, rw) && In(y, ry, rh) ? s : t;
    case vlttCenterZoom1:
    case vlttCenterZoom2: {
      const bool one = e == vlttCenterZoom1;
      centre(one ? p : q, rx, ry, rw, rh);
      if (!In(x, rx, rw) || !In(y, ry, rh)) return one ? s : t;
      const int sx = int((x - rx) * W / rw), sy = int((y - ry) * H / rh);
      return one ? TargetPixel(sx, sy) : SourcePixel(sx, sy);
    }
    default: return TRGB{};
  }
}

bool IsRandom(TVLTransitionType e) { return e == vlttRandomPoints || e == vlttRandomBoxes; }

std::string Where(TVLTransitionType e, int p, int W, int H, int x, int y) {
  return std::string(TransitionName(e)) + " p=" + std::to_string(p) + " " + std::to_string(W) + "x" +
         std::to_string(H) + " at (" + std::to_string(x) + "," + std::to_string(y) + ")";
}

}  // namespace

TEST(TransitionFrames, NamesRoundTrip) {
  for (int i = 0; i < kTransitionTypeCount; ++i) {
    TVLTransitionType e;
    ASSERT_TRUE(TransitionFromName(TransitionName(TVLTransitionType(i)), e));
    EXPECT_EQ(e, i);
  }
  TVLTransitionType e;
  EXPECT_TRUE(TransitionFromName("crossdissolve", e));
  EXPECT_EQ(e, vlttCrossDissolve);
  EXPECT_FALSE(TransitionFromName("Sideways", e));
}

TEST(TransitionFrames, RoundDiv1024TiesToEven) {
  const struct {
    int64_t n, expected;
  } cases[] = {{0, 0}, {511, 0}, {512, 0}, {513, 1}, {1535, 1}, {1536, 2}, {2560, 2}, {3584, 4}, {1024 * 1921, 1921}};
  for (const auto& c : cases) EXPECT_EQ(RoundDiv1024(c.n), c.expected) << c.n;
}

// Every deterministic effect, pixel by pixel, at progress values where the rounded widths
// tie and the placements pass the edges, on sizes down to one pixel.
TEST(TransitionFrames, EveryPixelFollowsTheRule) {
  const struct {
    int W, H;
  } sizes[] = {{1, 1}, {3, 3}, {7, 3}, {13, 7}, {64, 33}};
  const int progress[] = {0, 1, 255, 256, 511, 512, 513, 768, 1000, 1023, 1024};
  for (const auto& size : sizes)
    for (int i = 0; i < kTransitionTypeCount; ++i) {
      const auto e = TVLTransitionType(i);
      if (IsRandom(e)) continue;
      for (int p : progress) {
        TFixture f(size.W, size.H);
        f.DrawFromStart(e, p);
        for (int y = 0; y < size.H; ++y)
          for (int x = 0; x < size.W; ++x)
            ASSERT_EQ(f.At(x, y), Expected(e, x, y, p, size.W, size.H)) << Where(e, p, size.W, size.H, x, y);
        ASSERT_TRUE(f.GuardsIntact()) << Where(e, p, size.W, size.H, 0, 0);
      }
    }
}

// The two ends of every effect: the source at p = 0 (vlttFadeIn: the background), the target at
// p = 1024 (vlttFadeOut: the background; the random ones: all but a few pixels).
TEST(TransitionFrames, EndsShowSourceAndTarget) {
  const struct {
    int W, H;
  } sizes[] = {{1, 1}, {7, 3}, {64, 64}, {1921, 1081}};
  for (const auto& size : sizes) {
    TFixture f(size.W, size.H);
    for (int i = 1; i < kTransitionTypeCount; ++i) {
      const auto e = TVLTransitionType(i);
      for (int p : {0, 1024}) {
        f.Reset();
        f.DrawFromStart(e, p);
        const int total = size.W * size.H;
        // The last red line of vlttRightLeft2 and vlttDownUp2 falls on column or row 0.
        const bool lastLine = p == 1024 && (e == vlttRightLeft2 || e == vlttDownUp2);
        auto expected = [&](int x, int y) {
          if (e == vlttFadeIn && p == 0) return kBg;
          if (e == vlttFadeOut && p == 1024) return kBg;
          if (lastLine && (e == vlttRightLeft2 ? x : y) == 0) return kRedPixel;
          return p == 0 ? SourcePixel(x, y) : TargetPixel(x, y);
        };
        const int matching = f.CountWhere([&](int x, int y) { return f.At(x, y) == expected(x, y); });
        if (!IsRandom(e) || p == 0) {
          EXPECT_EQ(matching, total) << Where(e, p, size.W, size.H, 0, 0);
        } else if (total >= 4096) {
          EXPECT_GE(matching, total * 98 / 100) << Where(e, p, size.W, size.H, 0, 0);
        }
        EXPECT_TRUE(f.GuardsIntact()) << Where(e, p, size.W, size.H, 0, 0);
      }
    }
  }
}

TEST(TransitionFrames, CrossDissolveOfBlackAndWhiteAtHalfIs127) {
  TFixture f(
      37, 5, [](int, int) { return TRGB{0, 0, 0}; }, [](int, int) { return TRGB{255, 255, 255}; });
  f.Draw(vlttCrossDissolve, 512);
  EXPECT_EQ(f.CountWhere([&](int x, int y) { return f.At(x, y) == TRGB{127, 127, 127}; }), 37 * 5);
}

TEST(TransitionFrames, FadeOutInTurnsAtHalf) {
  TFixture f(
      19, 3, [](int, int) { return TRGB{200, 200, 200}; }, [](int, int) { return TRGB{10, 10, 10}; });
  // At 511 the source is 2/1024 of the way from the background: (bg × 1022 + 200 × 2) >> 10.
  f.Draw(vlttFadeOutIn, 511);
  const TRGB almost{uint8_t((50 * 1022 + 400) >> 10), uint8_t((60 * 1022 + 400) >> 10), uint8_t((70 * 1022 + 400) >> 10)};
  EXPECT_EQ(f.At(18, 2), almost);
  f.Draw(vlttFadeOutIn, 512);
  EXPECT_EQ(f.CountWhere([&](int x, int y) { return f.At(x, y) == kBg; }), 19 * 3);
}

TEST(TransitionFrames, LeftRight2RedLineAtAQuarter) {
  TFixture f(400, 4);
  f.DrawFromStart(vlttLeftRight2, 256);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(f.At(100, y), kRedPixel);
    EXPECT_EQ(f.At(99, y), TargetPixel(99, y));
    EXPECT_EQ(f.At(101, y), SourcePixel(101, y));
  }
}

// The random effects only add target pixels, more with every step, the same for the same seed,
// and their boxes at the right and bottom edges stay inside the frame.
TEST(TransitionFrames, RandomEffectsAddTargetPixels) {
  for (auto e : {vlttRandomPoints, vlttRandomBoxes})
    for (auto size : {std::pair{13, 11}, std::pair{61, 37}}) {
      const auto [W, H] = size;
      TFixture f(W, H), g(W, H);
      f.Draw(e, 0);
      int previous = 0;
      for (int p = 32; p <= 1024; p += 32) {
        f.Draw(e, p);
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x)
            ASSERT_TRUE(f.At(x, y) == SourcePixel(x, y) || f.At(x, y) == TargetPixel(x, y)) << Where(e, p, W, H, x, y);
        const int shown = f.CountWhere([&](int x, int y) { return f.At(x, y) == TargetPixel(x, y); });
        EXPECT_GE(shown, previous) << Where(e, p, W, H, 0, 0);
        previous = shown;
      }
      EXPECT_GT(previous, W * H * 9 / 10) << TransitionName(e);
      EXPECT_TRUE(f.GuardsIntact()) << TransitionName(e);
      // The same seed, the same steps: the same frame.
      g.Draw(e, 0);
      for (int p = 32; p <= 1024; p += 32) g.Draw(e, p);
      EXPECT_EQ(f.FrameBytes, g.FrameBytes) << TransitionName(e);
    }
}

// The counts grow as p²: about 5.7 points per column, 5.7 boxes per 8 × 8 place, by the end,
// also on views whose p × ((W × H) div 64) passes 32 bits.
TEST(TransitionFrames, RandomCountsOnLargeViews) {
  EXPECT_EQ(RandomPointsCount(0, 1920), 0);
  EXPECT_EQ(RandomPointsCount(1024, 1920), 10923);  // 1920 × 1024 / 180 = 10922.67
  EXPECT_EQ(RandomBoxesCount(1024, 1920, 1080), 184320);  // 32400 × 1024 / 180
  const int64_t places = int64_t(20000) * 20000 / 64;  // 1024 × places > 2^31
  const int64_t k = RandomBoxesCount(1024, 20000, 20000);
  EXPECT_GT(k, places * 56 / 10);
  EXPECT_LT(k, places * 58 / 10);
  EXPECT_LT(RandomBoxesCount(512, 20000, 20000), k);
}

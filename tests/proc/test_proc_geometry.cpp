// The component's flip, rotation and resizing: sizes and exact pixel moves of the quarter
// turns, the shear rotation's geometry and arithmetic, the kept aspect, the mask that follows,
// the undo captions, and the refusals that must leave everything as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "filter_fixtures.h"
#include "proc/flip_turn.h"
#include "proc/resample.h"
#include "proc/velora_proc.h"

using namespace velora;
using namespace velora::test;

namespace {

int Bit(const TBitmap& b, int x, int y) { return (b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }

// Whether `out` is `in` with every pixel (x, y) moved to where(x, y).
bool Moved(const TBitmap& in, const TBitmap& out, std::function<TPoint(int, int)> where) {
  for (int y = 0; y < in.Height(); ++y)
    for (int x = 0; x < in.Width(); ++x) {
      const TPoint p = where(x, y);
      if (in.BitCount() == 1 ? Bit(in, x, y) != Bit(out, p.X, p.Y) : std::memcmp(At(in, x, y), At(out, p.X, p.Y), 3))
        return false;
    }
  return true;
}

struct TProc {
  TBitmap bitmap;
  TVeloraProc proc;
  TProc() { proc.AttachBitmap(&bitmap); }
};

}  // namespace

TEST(ProcGeometry, QuarterTurnsMovePixelsWithoutBlending) {
  struct {
    double angle;
    int quarters;  // counter-clockwise, 0..3
  } const kCases[] = {{90, 1}, {-90, 3}, {180, 2}, {270, 3}, {-270, 1}, {360, 0}, {0, 0}, {450, 1}, {360e9 + 90, 1}};
  std::mt19937 rng(90);
  for (bool oneBit : {false, true})
    for (const auto& c : kCases) {
      TProc t;
      if (oneBit)
        Random1(t.bitmap, 37, 11, rng);
      else
        Random24(t.bitmap, 37, 11, rng);
      TBitmap before;
      before.Assign(t.bitmap);
      t.proc.RotateImage(true, c.angle);
      const int w = 37, h = 11;
      const bool odd = c.quarters % 2;
      ASSERT_EQ(t.bitmap.Width(), odd ? h : w) << c.angle;
      ASSERT_EQ(t.bitmap.Height(), odd ? w : h) << c.angle;
      ASSERT_EQ(t.bitmap.BitCount(), oneBit ? 1 : 24);
      const std::function<TPoint(int, int)> where[] = {
          [](int x, int y) { return TPoint{x, y}; },
          [w](int x, int y) { return TPoint{y, w - 1 - x}; },
          [w, h](int x, int y) { return TPoint{w - 1 - x, h - 1 - y}; },
          [h](int x, int y) { return TPoint{h - 1 - y, x}; },
      };
      EXPECT_TRUE(Moved(before, t.bitmap, where[c.quarters])) << c.angle << (oneBit ? " 1-bit" : " 24-bit");
    }
}

TEST(ProcGeometry, FlipsMirrorAndTwiceRestore) {
  std::mt19937 rng(17);
  for (bool oneBit : {false, true})
    for (int w = 1; w <= 17; ++w)
      for (int direction : {fdHorizontal, fdVertical}) {
        TProc t;
        if (oneBit)
          Random1(t.bitmap, w, 5, rng);
        else
          Random24(t.bitmap, w, 5, rng);
        TBitmap before;
        before.Assign(t.bitmap);
        t.proc.FlipImage(direction);
        const auto where = direction == fdHorizontal ? std::function<TPoint(int, int)>([w](int x, int y) {
          return TPoint{w - 1 - x, y};
        })
                                                     : [](int x, int y) { return TPoint{x, 4 - y}; };
        EXPECT_TRUE(Moved(before, t.bitmap, where)) << w << " " << direction;
        t.proc.FlipImage(direction);
        EXPECT_TRUE(SamePixels(before, t.bitmap)) << w << " " << direction;
      }
}

TEST(ProcGeometry, ShearRotationTurnsCounterClockwiseIntoTheComputedSize) {
  // A red dot right of the centre of a 100 × 100 picture: turned by +30° it rises, by −30° it
  // sinks, as seen on the screen.
  struct {
    double angle;
    int w, h;
    double dx, dy;  // the dot's expected offset from the new centre
  } const kCases[] = {{30, 138, 137, 34.6, -20}, {-30, 138, 137, 34.6, 20}};
  for (const auto& c : kCases) {
    TProc t;
    Fill24(t.bitmap, 100, 100, 0, 0, 0);
    for (int y = 49; y <= 51; ++y)
      for (int x = 88; x <= 90; ++x) t.bitmap.ScanLine(y)[3 * x + 2] = 255;
    t.proc.RotateImage(false, c.angle);
    ASSERT_EQ(t.bitmap.Width(), c.w);
    ASSERT_EQ(t.bitmap.Height(), c.h);
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        if (At(t.bitmap, x, y)[2] > 128) sx += x, sy += y, ++n;
    ASSERT_GT(n, 0);
    EXPECT_NEAR(sx / n - (c.w - 1) / 2.0, c.dx, 2.5) << c.angle;
    EXPECT_NEAR(sy / n - (c.h - 1) / 2.0, c.dy, 2.5) << c.angle;
  }
}

TEST(ProcGeometry, AntialiasedShearsKeepAFlatColourExactly) {
  // Every blend of a flat picture on a background of its own colour is that colour: integer
  // weights with (… + 2048) >> 12 give it back exactly, for odd values and negative weights.
  for (double angle : {1.0, 10.0, -17.5, 44.9, 133.0}) {
    TProc t;
    Fill24(t.bitmap, 23, 19, 101, 77, 255);
    t.proc.SetBackground(RGBColor(101, 77, 255));
    t.proc.RotateImage(true, angle);
    for (int y = 0; y < t.bitmap.Height(); ++y)
      for (int x = 0; x < t.bitmap.Width(); ++x) {
        const uint8_t* p = At(t.bitmap, x, y);
        ASSERT_TRUE(p[2] == 101 && p[1] == 77 && p[0] == 255) << angle << " at " << x << "," << y;
      }
  }
}

TEST(ProcGeometry, OneBitRotationByInverseMapping) {
  // A tiny angle on 1 × 1 would compute 0 × 0 from the four-decimal cosine.
  TProc tiny;
  tiny.bitmap.Reset(1, 1, TPixelFormat::pf1bit);
  tiny.proc.RotateImage(true, 0.001);
  EXPECT_EQ(tiny.bitmap.Width(), 1);
  EXPECT_EQ(tiny.bitmap.Height(), 1);
  // 45° on a white square: 1 bit kept, the corners take the background's bit.
  for (TColor bg : {clBlack, clWhite}) {
    TProc t;
    t.bitmap.Reset(20, 20, TPixelFormat::pf1bit);
    for (int y = 0; y < 20; ++y) std::memset(t.bitmap.ScanLine(y), 0xFF, size_t(t.bitmap.RowLen()));
    t.proc.SetBackground(bg);
    t.proc.RotateImage(false, 45);
    ASSERT_EQ(t.bitmap.BitCount(), 1);
    EXPECT_EQ(t.bitmap.Width(), 28);  // trunc(20 × 0.7071 × 2)
    EXPECT_EQ(Bit(t.bitmap, 0, 0), bg == clWhite);
    EXPECT_EQ(Bit(t.bitmap, 14, 14), 1);
  }
}

TEST(ProcGeometry, UndoCaptionsAndRefusals) {
  struct {
    const char* what;
    std::function<bool(TVeloraProc&)> op;
    const char* caption;  // nullptr: refused, no copy, nothing changes
  } const kCases[] = {
      {"flip", [](TVeloraProc& p) { return p.FlipImage(fdVertical); }, "Flip"},
      {"rotate", [](TVeloraProc& p) { return p.RotateImage(true, 30.5); }, "Rotate 30.5"},
      {"rotate clockwise", [](TVeloraProc& p) { return p.RotateImage(false, -90); }, "Rotate -90"},
      {"rotate 360", [](TVeloraProc& p) { return p.RotateImage(false, 360); }, "Rotate 360"},
      {"resample", [](TVeloraProc& p) { return p.ResizeImage(200, -1, rfTriangle); }, "Resample 200,-1"},
      {"resample both kept", [](TVeloraProc& p) { return p.ResizeImage(-1, -1, rfTriangle); }, "Resample -1,-1"},
      {"unknown flip", [](TVeloraProc& p) { return p.FlipImage(2); }, nullptr},
      {"rotate NaN", [](TVeloraProc& p) { return p.RotateImage(true, std::nan("")); }, nullptr},
      {"rotate infinity", [](TVeloraProc& p) { return p.RotateImage(true, INFINITY); }, nullptr},
      {"resample to width 0", [](TVeloraProc& p) { return p.ResizeImage(0, 10, rfTriangle); }, nullptr},
      // Rows too long to hold: the allocation fails.
      {"resample beyond memory", [](TVeloraProc& p) { return p.ResizeImage(1 << 30, 1 << 30, rfNone); }, nullptr},
  };
  for (const auto& c : kCases) {
    TProc t;
    Varied(t.bitmap, 40, 30);
    t.proc.PushUndoCaptioned("earlier");
    TBitmap before;
    before.Assign(t.bitmap);
    EXPECT_EQ(c.op(t.proc), c.caption != nullptr) << c.what;
    if (c.caption) {
      ASSERT_EQ(t.proc.UndoCount(), 1) << c.what;
      EXPECT_EQ(t.proc.UndoCaptions().back(), c.caption) << c.what;
    } else {
      EXPECT_EQ(t.proc.UndoCaptions().back(), "earlier") << c.what;
      EXPECT_TRUE(SamePixels(before, t.bitmap)) << c.what;
    }
  }
}

TEST(ProcGeometry, ResizeKeepsTheAspectAndTheMaskFollows) {
  struct {
    int cw, ch, w, h, wantW, wantH;
  } const kCases[] = {
      {400, 300, 200, -1, 200, 150},
      {400, 300, -1, 150, 200, 150},
      {1000, 3, 10, -1, 10, 1},  // 0.03 rows: at least one
      {3, 1000, -1, 10, 1, 10},
  };
  for (const auto& c : kCases) {
    TProc t;
    Varied(t.bitmap, c.cw, c.ch);
    t.proc.ResizeImage(c.w, c.h, rfMitchell);
    EXPECT_EQ(t.bitmap.Width(), c.wantW);
    EXPECT_EQ(t.bitmap.Height(), c.wantH);
  }
  // The kept side in 64 bits: 100000 × 30000 overflows 32 bits before the division.
  struct {
    int cw, ch, w, h;
    bool resized;
    int64_t wantW, wantH;
  } const kSizes[] = {
      {100000, 50000, -1, 30000, true, 60000, 30000},
      {50000, 100000, 30000, -1, true, 30000, 60000},
      {1, 100000, -1, 10, true, 1, 10},  // a computed 0 is 1
      {400, 300, 0, -1, false},          // an explicit 0 does nothing
      {400, 300, -1, -1, false},
  };
  for (const auto& c : kSizes) {
    int64_t w = 0, h = 0;
    ASSERT_EQ(VLResizedSize(c.cw, c.ch, c.w, c.h, w, h), c.resized) << c.cw << "x" << c.ch;
    if (!c.resized) continue;
    EXPECT_EQ(w, c.wantW) << c.cw << "x" << c.ch;
    EXPECT_EQ(h, c.wantH) << c.cw << "x" << c.ch;
  }
  // A full mask is remade full at the new size; any other is resampled.
  for (bool full : {true, false}) {
    TProc t;
    Varied(t.bitmap, 40, 30);
    TVLMask mask;
    mask.Allocate(40, 30, 8);
    if (full)
      mask.Fill(255);
    else
      for (int y = 5; y < 20; ++y) mask.FillRow(200, 3, y, 25);
    TVLMask want;
    want.Allocate(20, 15, 8);
    if (full)
      want.Fill(255);
    else
      ResampleMask(mask, want, rfLanczos3);
    t.proc.SetAlphaMask(&mask);
    t.proc.ResizeImage(20, -1, rfLanczos3);
    ASSERT_EQ(mask.Width(), 20);
    ASSERT_EQ(mask.Height(), 15);
    EXPECT_EQ(mask.Full(), full);
    for (int y = 0; y < 15; ++y) ASSERT_EQ(std::memcmp(mask.ScanLine(y), want.ScanLine(y), 20), 0) << y;
  }
}

TEST(ProcGeometry, ResizeTakesTheResamplersPixels) {
  // rfFastLinear gives what the resolution equalising gets from the fast resizer; 1-bit images
  // stay 1-bit unfiltered and turn grey through the 1-bit resampler otherwise.
  std::mt19937 rng(3);
  struct {
    bool oneBit;
    TResampleFilter filter;
    int bits;
  } const kCases[] = {{false, rfFastLinear, 24}, {true, rfFastLinear, 24}, {true, rfNone, 1},
                      {true, rfTriangle, 24},   {false, rfNone, 24}};
  for (const auto& c : kCases) {
    TProc t;
    if (c.oneBit)
      Random1(t.bitmap, 33, 21, rng);
    else
      Random24(t.bitmap, 33, 21, rng);
    TBitmap want(50, 14, c.bits == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
    if (c.filter == rfNone)
      StretchBitmap(t.bitmap, want);
    else if (c.oneBit)
      c.filter == rfFastLinear ? FastResizeBitmap1Bit(t.bitmap, want) : ResampleBitmap1Bit(t.bitmap, want, c.filter);
    else
      FastResizeBitmap(t.bitmap, want);
    t.proc.ResizeImage(50, 14, c.filter);
    EXPECT_EQ(t.bitmap.BitCount(), c.bits);
    EXPECT_TRUE(SamePixels(t.bitmap, want)) << c.oneBit << " " << c.filter;
  }
}

TEST(ProcGeometry, ProgressGoesThroughTheComponent) {
  // Every geometric operation reports rising percentages ending at 100, the whole quarter turns
  // and mirrors too (the preview dialog's OK shows them), with or without an undo copy.
  struct {
    const char* name;
    std::function<bool(TVeloraProc&)> run;
  } const kCases[] = {
      {"rotate 20", [](TVeloraProc& p) { return p.RotateImage(true, 20); }},
      {"rotate 90", [](TVeloraProc& p) { return p.RotateImage(true, 90); }},
      {"rotate 180", [](TVeloraProc& p) { return p.RotateImage(false, 180); }},
      {"rotate -90", [](TVeloraProc& p) { return p.RotateImage(false, -90); }},
      {"flip horizontal", [](TVeloraProc& p) { return p.FlipImage(fdHorizontal); }},
      {"flip vertical", [](TVeloraProc& p) { return p.FlipImage(fdVertical); }},
  };
  for (const auto& c : kCases)
    for (bool autoUndo : {true, false}) {
      TProc t;
      Varied(t.bitmap, 300, 300);
      t.proc.AutoUndo = autoUndo;
      std::vector<int> seen;
      TVLObject* sender = nullptr;
      t.proc.OnProgress = [&](TVLObject* s, int per) { sender = s, seen.push_back(per); };
      ASSERT_TRUE(c.run(t.proc)) << c.name;
      ASSERT_GE(seen.size(), 2u) << c.name << " undo " << autoUndo;
      EXPECT_EQ(sender, &t.proc);
      EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << c.name << " undo " << autoUndo;
      EXPECT_LT(seen.front(), 100) << c.name << " undo " << autoUndo;
      EXPECT_EQ(seen.back(), 100) << c.name << " undo " << autoUndo;
    }
}

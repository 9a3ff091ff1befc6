#include <gtest/gtest.h>

#include <random>
#include <string>

#include "proc/flip_turn.h"

using namespace velora;

namespace {

// Pixels as small numbers: the 24-bit pixel n is (n, 2n, 3n), the 8-bit one n, the 1-bit one n & 1.
int PixelValue(const TBitmap& b, int x, int y) {
  const uint8_t* row = b.ScanLine(y);
  switch (b.BitCount()) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 8: return row[x];
    default: return row[3 * x];
  }
}

void SetPixelValue(TBitmap& b, int x, int y, int v) {
  uint8_t* row = b.ScanLine(y);
  switch (b.BitCount()) {
    case 1:
      if (v & 1) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      break;
    case 8: row[x] = uint8_t(v); break;
    default: row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(2 * v), row[3 * x + 2] = uint8_t(3 * v);
  }
}

// Rows of single characters: "abc/def" is 3 × 2.
std::unique_ptr<TBitmap> FromText(const std::string& text, TPixelFormat pf) {
  std::vector<std::string> rows{""};
  for (char c : text) {
    if (c == '/')
      rows.emplace_back();
    else
      rows.back().push_back(c);
  }
  auto b = std::make_unique<TBitmap>(int(rows[0].size()), int(rows.size()), pf);
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) SetPixelValue(*b, x, y, rows[size_t(y)][size_t(x)]);
  return b;
}

std::string ToText(const TBitmap& b) {
  std::string s;
  for (int y = 0; y < b.Height(); ++y) {
    if (y) s += '/';
    for (int x = 0; x < b.Width(); ++x) s += char(PixelValue(b, x, y));
  }
  return s;
}

std::unique_ptr<TBitmap> Random(int w, int h, TPixelFormat pf, unsigned seed) {
  std::mt19937 rng(seed);
  auto b = std::make_unique<TBitmap>(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixelValue(*b, x, y, int(rng() % 85));
  return b;
}

// The same picture in another format: 1-bit keeps the low bit, which the 24-bit value keeps too.
bool SamePicture(const TBitmap& a, const TBitmap& b, bool lowBitOnly) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const int va = PixelValue(a, x, y), vb = PixelValue(b, x, y);
      if (lowBitOnly ? (va & 1) != (vb & 1) : va != vb) return false;
    }
  return true;
}

}  // namespace

// A 3 × 2 picture "abc/def" in every orientation, written out by hand.
TEST(FlipTurn, OrientationsTurnAPictureUprightAsCamerasMeanThem) {
  const struct {
    int orientation;
    const char* upright;
  } cases[] = {
      {1, "abc/def"}, {2, "cba/fed"},    {3, "fed/cba"},    {4, "def/abc"},
      {5, "ad/be/cf"}, {6, "da/eb/fc"}, {7, "fc/eb/da"}, {8, "cf/be/ad"},
      {0, "abc/def"}, {9, "abc/def"},
  };
  for (const auto& c : cases) {
    auto b = FromText("abc/def", TPixelFormat::pf24bit);
    EXPECT_TRUE(VLApplyOrientation(*b, nullptr, c.orientation));
    EXPECT_EQ(ToText(*b), c.upright) << "orientation " << c.orientation;
  }
}

TEST(FlipTurn, TurnsAndFlipsByHand) {
  const struct {
    int quarters;  // 0: flip instead
    int direction;
    const char* result;
  } cases[] = {
      {1, 0, "cf/be/ad"}, {-1, 0, "da/eb/fc"}, {3, 0, "da/eb/fc"}, {2, 0, "fed/cba"},
      {4, 0, "abc/def"},  {-7, 0, "cf/be/ad"}, {0, fdHorizontal, "cba/fed"}, {0, fdVertical, "def/abc"},
  };
  for (const auto& c : cases) {
    auto b = FromText("abc/def", TPixelFormat::pf24bit);
    EXPECT_TRUE(c.quarters ? VLTurnBitmap(*b, c.quarters) : VLFlipBitmap(*b, c.direction));
    EXPECT_EQ(ToText(*b), c.result) << c.quarters << " " << c.direction;
  }
}

// Each 1- and 8-bit result must be the 24-bit one: widths 1 to 17 cross every bit padding.
TEST(FlipTurn, OneAndEightBitPicturesMoveLikeTwentyFourBit) {
  for (int w = 1; w <= 17; ++w)
    for (int h : {1, 2, 5}) {
      for (int orientation = 2; orientation <= 8; ++orientation) {
        auto ref = Random(w, h, TPixelFormat::pf24bit, unsigned(w * 100 + h));
        ASSERT_TRUE(VLApplyOrientation(*ref, nullptr, orientation));
        for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf8bit}) {
          auto b = Random(w, h, pf, unsigned(w * 100 + h));
          ASSERT_TRUE(VLApplyOrientation(*b, nullptr, orientation));
          EXPECT_TRUE(SamePicture(*b, *ref, pf == TPixelFormat::pf1bit))
              << w << "x" << h << " orientation " << orientation << " bits " << b->BitCount();
        }
      }
      for (int direction : {fdHorizontal, fdVertical}) {
        auto b = Random(w, h, TPixelFormat::pf1bit, 7);
        auto twice = Random(w, h, TPixelFormat::pf1bit, 7);
        VLFlipBitmap(*twice, direction);
        VLFlipBitmap(*twice, direction);
        EXPECT_TRUE(SamePicture(*b, *twice, true)) << w << "x" << h;
        // The padding bits of a mirrored 1-bit row stay clear: writers copy whole bytes.
        VLFlipBitmap(*b, direction);
        const int pad = (8 - w % 8) % 8;
        for (int y = 0; y < h; ++y) EXPECT_EQ(b->ScanLine(y)[(w - 1) / 8] & ((1 << pad) - 1), 0);
      }
    }
}

// Large enough for threads and several tiles in both directions, with ragged edges.
TEST(FlipTurn, LargePicturesTurnInTilesWithoutLosingAPixel) {
  auto src = Random(700, 451, TPixelFormat::pf24bit, 3);
  auto ccw = Random(700, 451, TPixelFormat::pf24bit, 3);
  ASSERT_TRUE(VLTurnBitmap(*ccw, 1));
  ASSERT_EQ(ccw->Width(), 451);
  ASSERT_EQ(ccw->Height(), 700);
  for (int y = 0; y < 700; ++y)
    for (int x = 0; x < 451; ++x) ASSERT_EQ(PixelValue(*ccw, x, y), PixelValue(*src, 699 - y, x)) << x << "," << y;
  ASSERT_TRUE(VLTurnBitmap(*ccw, -1));
  EXPECT_TRUE(SamePicture(*ccw, *src, false));
}

TEST(FlipTurn, MasksFollowWithTheirBoundingBox) {
  for (int bits : {1, 8}) {
    auto b = FromText("abc/def", TPixelFormat::pf24bit);
    TVLMask mask;
    mask.Allocate(3, 2, bits);
    mask.SetPixel(2, 0, 255);  // under "c"
    ASSERT_TRUE(VLApplyOrientation(*b, &mask, 6));
    ASSERT_EQ(mask.Width(), 2);
    ASSERT_EQ(mask.Height(), 3);
    // "c" is now at the bottom right.
    EXPECT_EQ(PixelValue(*b, 1, 2), 'c');
    EXPECT_NE(mask.GetPixel(1, 2), 0);
    EXPECT_EQ(mask.GetPixel(0, 0), 0);
    EXPECT_EQ(mask.X1, 1);
    EXPECT_EQ(mask.Y1, 2);
    EXPECT_EQ(mask.X2, 1);
    EXPECT_EQ(mask.Y2, 2);
    ASSERT_TRUE(VLFlipMask(mask, fdHorizontal));
    EXPECT_NE(mask.GetPixel(0, 2), 0);
    EXPECT_EQ(mask.X1, 0);
  }
}

TEST(FlipTurn, OtherFormatsAndEmptyPicturesAreLeftAlone) {
  TBitmap rgb32(4, 3, TPixelFormat::pf32bit);
  EXPECT_FALSE(VLTurnBitmap(rgb32, 1));
  EXPECT_FALSE(VLFlipBitmap(rgb32, fdHorizontal));
  EXPECT_EQ(rgb32.Width(), 4);
  TBitmap empty(0, 0, TPixelFormat::pf24bit);
  EXPECT_TRUE(VLTurnBitmap(empty, 1));
  EXPECT_TRUE(VLApplyOrientation(empty, nullptr, 7));
}

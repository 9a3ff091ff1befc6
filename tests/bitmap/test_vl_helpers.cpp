#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "bitmap/vl_helpers.h"

using namespace velora;

TEST(VLHelpers, BitFieldsAndBitOrder) {
  EXPECT_EQ(TopBit(0), -1);
  EXPECT_EQ(TopBit(1), 0);
  EXPECT_EQ(TopBit(0x18), 5);
  EXPECT_EQ(TopBit(0x10), 4);
  EXPECT_EQ(TopBit(0xFF), 8);
  EXPECT_EQ(TopBit(0x80000000u), 31);
  EXPECT_EQ(TopBit(0xFFFFFFFFu), 32);

  EXPECT_EQ(RunLength(0), 0);
  EXPECT_EQ(RunLength(0xF800), 5);
  EXPECT_EQ(RunLength(0x07E0), 6);
  EXPECT_EQ(RunLength(0x001F), 5);
  EXPECT_EQ(RunLength(0xFF000000u), 8);
  EXPECT_EQ(RunLength(0xFFFFFFFFu), 32);
  EXPECT_EQ(RunLength(0x0F0F), 4);  // the first run only

  EXPECT_EQ(ReverseBits8(0x01), 0x80);
  EXPECT_EQ(ReverseBits8(0xC4), 0x23);
  EXPECT_EQ(ReverseBits32(0x00000001u), 0x80000000u);
  EXPECT_EQ(ReverseBits32(0x12345678u), 0x1E6A2C48u);
  EXPECT_EQ(BitMask(0), 0x80);
  EXPECT_EQ(BitMask(9), 0x40);
  EXPECT_EQ(Swap16(0x1234), 0x3412);
  EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);

  EXPECT_EQ(RowSizeOfFormat(3, TPixelFormat::pf1bit), 4);
  EXPECT_EQ(RowSizeOfFormat(5, TPixelFormat::pf24bit), 16);
  EXPECT_EQ(RowSizeOfFormat(3, TPixelFormat::pf15bit), 8);
  EXPECT_EQ(RowSizeOfFormat(7, TPixelFormat::pf4bit), 4);
  EXPECT_EQ(RowSizeOfFormat(100, TPixelFormat::pfDevice), 0);
  EXPECT_FALSE(IsWindowsXP());
}

TEST(VLHelpers, Powers) {
  EXPECT_EQ(IntPower(2, 10), 1024);
  EXPECT_EQ(IntPower(3, 0), 1);
  EXPECT_EQ(IntPower(2, -3), 0.125);
  EXPECT_EQ(IntPower(1, INT_MIN), 1);
  EXPECT_EQ(IntPower(-2, 3), -8);
  EXPECT_EQ(Power(0, 0), 1);
  EXPECT_EQ(Power(0, 2.5), 0);
  EXPECT_EQ(Power(-2, 3), -8);  // integral exponent: no logarithm of a negative base
  EXPECT_EQ(Power(10, -2), IntPower(10, -2));
  EXPECT_NEAR(Power(2, 0.5), std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(Power(100, 1.0 / 3), 4.641588833612779, 1e-12);
  EXPECT_TRUE(std::isnan(Power(-8, 1.0 / 3)));
}

TEST(VLHelpers, Constrain45SnapsTheDragEnd) {
  // The drag starts at (10, 0); (x0, y0) is its end, snapped in place.
  struct Case {
    int x0, y0, ex0, ey0;
  } cases[] = {
      {12, 100, 10, 100},  // dx 2, dy 100: vertical
      {100, 5, 100, 0},    // dx 90, dy 5: horizontal
      {60, 40, 60, 50},    // near the diagonal: the shorter side grows to the longer
      {-20, 40, -30, 40},  // keeping its direction, left
      {50, -30, 50, -40},  // and up
      {10, 20, 30, 20},    // within 30 pixels every drag is diagonal
  };
  for (const Case& c : cases) {
    int x0 = c.x0, y0 = c.y0;
    Constrain45(10, 0, x0, y0);
    EXPECT_EQ(x0, c.ex0) << c.x0 << "," << c.y0;
    EXPECT_EQ(y0, c.ey0) << c.x0 << "," << c.y0;
  }
}

TEST(VLHelpers, ParseFloatTakesEitherSeparator) {
  EXPECT_EQ(ParseFloat("1.5"), 1.5);
  EXPECT_EQ(ParseFloat("1,5"), 1.5);
  EXPECT_EQ(ParseFloat("-0,25"), -0.25);
  EXPECT_EQ(ParseFloat(" 42 "), 42);
  EXPECT_EQ(ParseFloat("+3"), 3);
  EXPECT_EQ(ParseFloat("2e3"), 2000);
  EXPECT_EQ(ParseFloat("abc", 7.5), 7.5);
  EXPECT_EQ(ParseFloat("", -1), -1);
  EXPECT_EQ(ParseFloat("1,2.3", 9), 9);
  EXPECT_EQ(ParseFloat("1.5x", 9), 9);
}

TEST(VLHelpers, LabEncodingOfTheTiffCodec) {
  // Expected bytes worked out by hand from the codec's formulas.
  struct Enc {
    TRGB c;
    TVLLab lab;
  } enc[] = {
      // White: Y = 100 → L* = 116 × 4.6416 − 16 = 522.4, scaled by 255 / 550 → 242.
      {MakeRGB(255, 255, 255), {242, -24, -6}},
      {MakeRGB(0, 0, 0), {0, 0, 0}},
      {MakeRGB(255, 0, 0), {141, 127, 78}},  // a clamped at 127
      {MakeRGB(0, 0, 255), {96, 127, -128}},  // b clamped at −128
      {MakeRGB(128, 128, 128), {142, -14, -4}},
  };
  for (const Enc& e : enc) {
    const TVLLab got = RGBToLab(e.c);
    EXPECT_EQ(int(got.L), int(e.lab.L)) << int(e.c.r) << "," << int(e.c.g) << "," << int(e.c.b);
    EXPECT_EQ(int(got.a), int(e.lab.a)) << int(e.c.r) << "," << int(e.c.g) << "," << int(e.c.b);
    EXPECT_EQ(int(got.b), int(e.lab.b)) << int(e.c.r) << "," << int(e.c.g) << "," << int(e.c.b);
  }
  struct Dec {
    uint8_t L;
    int8_t a, b;
    TRGB rgb;
  } dec[] = {
      {0, -1, -1, MakeRGB(0, 4, 7)},        // below L* 7.9996: the linear branch
      {10, 0, 0, MakeRGB(16, 17, 17)},
      {128, 0, 0, MakeRGB(109, 110, 111)},
      {128, -1, -1, MakeRGB(107, 111, 112)},
      {255, -1, -1, MakeRGB(252, 255, 255)},
      {128, 127, 0, MakeRGB(244, 0, 115)},
      {128, -128, 0, MakeRGB(245, 0, 115)},  // −128 is read as +128, not as the most negative a
  };
  for (const Dec& d : dec) EXPECT_EQ(LabToRGB(d.L, d.a, d.b), d.rgb) << int(d.L) << "," << int(d.a) << "," << int(d.b);
}

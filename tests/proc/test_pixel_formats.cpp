#include <gtest/gtest.h>

#include <cstring>

#include "proc/pixel_formats.h"

using namespace velora;

namespace {

const TRGB kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed = MakeRGB(255, 0, 0), kBlue = MakeRGB(0, 0, 255);

std::unique_ptr<TBitmap> Make24(int w, int h, std::initializer_list<TRGB> pixels) {
  auto bmp = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  auto it = pixels.begin();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(bmp->ScanLine(y))[x] = *it++;
  return bmp;
}

TRGB Pixel(const TBitmap& bmp, int x, int y) { return reinterpret_cast<const TRGB*>(bmp.ScanLine(y))[x]; }
bool Bit(const TBitmap& bmp, int x, int y) { return bmp.ScanLine(y)[x >> 3] & (0x80 >> (x & 7)); }

}  // namespace

TEST(PixelFormats, ReduceToTwoColoursPutsTheDarkerColourOnZeroBits) {
  struct Case {
    TRGB first, second, dark, light;
  } cases[] = {{kBlack, kWhite, kBlack, kWhite}, {kWhite, kBlack, kBlack, kWhite}, {kRed, kBlue, kBlue, kRed}};
  for (const Case& c : cases) {
    auto src = Make24(3, 2, {c.first, c.second, c.first, c.second, c.second, c.first});
    TRGB c0, c1;
    auto mono = ReduceToTwoColours(*src, c0, c1);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(c0, c.dark);
    EXPECT_EQ(c1, c.light);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(Bit(*mono, x, y), Pixel(*src, x, y) == c.light) << x << "," << y;
  }
}

TEST(PixelFormats, ReduceToTwoColoursRefusesOtherThanTwoColours) {
  TRGB c0, c1;
  auto one = Make24(2, 1, {kRed, kRed});
  auto three = Make24(3, 1, {kRed, kBlue, kWhite});
  TBitmap mono(4, 4, TPixelFormat::pf1bit);
  EXPECT_EQ(ReduceToTwoColours(*one, c0, c1), nullptr);
  EXPECT_EQ(ReduceToTwoColours(*three, c0, c1), nullptr);
  EXPECT_EQ(ReduceToTwoColours(mono, c0, c1), nullptr);
}

TEST(PixelFormats, DitherOfMiddleGreyWhitensHalfOfEveryBlock) {
  // (21 + 71 + 7) × 130 div 100 div 4 = 32: exactly the 32 matrix entries below 32 go white.
  TBitmap bmp;
  bmp.Reset(16, 16, TPixelFormat::pf24bit);
  std::memset(bmp.Bits(), 130, size_t(bmp.ImageSize()));
  std::vector<int> reported;
  TVLProgressRecord progress;
  progress.fOnProgress = [&](TVLObject*, int per) { reported.push_back(per); };
  DitherToMono(bmp, &progress);
  ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf1bit);
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      int white = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          white += Bit(bmp, bx * 8 + x, by * 8 + y);
          EXPECT_EQ(Bit(bmp, bx * 8 + x, by * 8 + y), kBayer8[x][y] < 32);
        }
      EXPECT_EQ(white, 32);
    }
  ASSERT_EQ(reported.size(), 16u);
  EXPECT_EQ(reported.front(), 6);  // trunc(100 / 16.5)
  EXPECT_EQ(reported.back(), 96);  // trunc(1600 / 16.5)
}

TEST(PixelFormats, ExpandMonoTo24UsesOnlyTheWidthsBits) {
  TBitmap mono(10, 1, TPixelFormat::pf1bit);
  mono.ScanLine(0)[0] = 0xA5;  // 1010 0101
  mono.ScanLine(0)[1] = 0xBF;  // 10, then bits beyond the width
  TBitmap rgb;
  ExpandMonoTo24(mono, rgb);
  ASSERT_EQ(rgb.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(rgb.Width(), 10);
  const bool expected[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Pixel(rgb, x, 0), expected[x] ? kWhite : kBlack) << x;
  EXPECT_EQ(rgb.ScanLine(0)[30], 0);  // row padding untouched
  EXPECT_EQ(rgb.ScanLine(0)[31], 0);
}

TEST(PixelFormats, CopyBitmapRectFullAndPartial) {
  auto src = Make24(3, 2, {kRed, kBlue, kWhite, kBlack, kRed, kBlue});
  TBitmap whole, part;
  CopyBitmapRect(*src, whole, 0, 0, 0, 0);
  ASSERT_EQ(whole.Width(), 3);
  ASSERT_EQ(whole.Height(), 2);
  EXPECT_EQ(0, std::memcmp(whole.Bits(), src->Bits(), size_t(src->ImageSize())));
  CopyBitmapRect(*src, part, 1, 1, 5, 9);  // ends limited to the source
  ASSERT_EQ(part.Width(), 2);
  ASSERT_EQ(part.Height(), 1);
  EXPECT_EQ(Pixel(part, 0, 0), kRed);
  EXPECT_EQ(Pixel(part, 1, 0), kBlue);

  TBitmap mono(20, 2, TPixelFormat::pf1bit), monoPart;
  mono.ScanLine(1)[0] = 0x0F;
  mono.ScanLine(1)[1] = 0xF0;
  CopyBitmapRect(mono, monoPart, 4, 1, 12, 2);  // 8 set bits starting at bit 4
  ASSERT_EQ(monoPart.Width(), 8);
  EXPECT_EQ(monoPart.ScanLine(0)[0], 0xFF);
  EXPECT_EQ(monoPart.ScanLine(0)[1], 0x00);
}

TEST(PixelFormats, CopyAndCloneKeepFormatAndPixels) {
  TBitmap mono(9, 3, TPixelFormat::pf1bit);
  mono.ScanLine(2)[1] = 0x80;
  auto clone = CloneBitmap(mono);
  EXPECT_EQ(clone->PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(clone->Width(), 9);
  EXPECT_TRUE(Bit(*clone, 8, 2));
  TBitmap empty, dest;
  empty.SetPixelFormat(TPixelFormat::pf1bit);
  CopyBitmap(empty, dest);
  EXPECT_EQ(dest.Width(), 1);
  EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf1bit);
}

TEST(PixelFormats, InvertMonoComplementsPaddingToo) {
  TBitmap mono(3, 2, TPixelFormat::pf1bit);
  mono.ScanLine(0)[0] = 0xA0;
  InvertMono(mono);
  EXPECT_EQ(mono.ScanLine(0)[0], 0x5F);
  EXPECT_EQ(mono.ScanLine(0)[3], 0xFF);
  EXPECT_EQ(mono.ScanLine(1)[0], 0xFF);
}

TEST(PixelFormats, NearestPaletteIndexTakesTheFirstOfEqualDistances) {
  const TRGB palette[] = {MakeRGB(0, 0, 0), MakeRGB(10, 0, 0), MakeRGB(0, 10, 0), MakeRGB(200, 200, 200)};
  EXPECT_EQ(NearestPaletteIndex(palette, 4, MakeRGB(10, 10, 0)), 1);  // 1 and 2 both at 10
  EXPECT_EQ(NearestPaletteIndex(palette, 4, MakeRGB(5, 5, 0)), 0);    // 0, 1 and 2 all at 10
  EXPECT_EQ(NearestPaletteIndex(palette, 4, MakeRGB(6, 5, 0)), 1);
  EXPECT_EQ(NearestPaletteIndex(palette, 4, MakeRGB(4, 5, 0)), 0);
  EXPECT_EQ(NearestPaletteIndex(palette, 4, MakeRGB(255, 255, 255)), 3);
  EXPECT_EQ(NearestPaletteIndex(palette, 0, kWhite), 0);
}

TEST(PixelFormats, SwapRedBlueExchangesOuterBytes) {
  uint8_t entries[] = {1, 2, 3, 4, 5, 6};
  SwapRedBlue(entries, 2);
  EXPECT_EQ(std::vector<uint8_t>(entries, entries + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
}

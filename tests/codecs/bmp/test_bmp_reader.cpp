// Files made byte by byte, one per decoding path and edge case.
#include <gtest/gtest.h>

#include "codecs/bmp/bmp_fixture.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/png/png_codec.h"
#include "io/io_test_support.h"

using namespace velora;
using namespace velora::testing;

namespace {

const TRGB kBlack{0, 0, 0}, kWhite{255, 255, 255};
const TRGB kRed = MakeRGB(255, 0, 0), kGreen = MakeRGB(0, 255, 0), kBlue = MakeRGB(0, 0, 255);
const std::vector<TRGB> kFour = {kBlack, kRed, kGreen, kBlue};

// A 5 x 3 8-bit image: rows bottom-up in the file, each padded to 8 bytes.
TBmpSpec EightBit5x3() {
  TBmpSpec s;
  s.width = 5, s.height = 3, s.bits = 8, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {3, 3, 3, 3, 3, 0, 0, 0,   // bottom row: blue
              0, 1, 2, 3, 200, 0, 0, 0,  // index 200 lies beyond the palette
              1, 1, 1, 1, 2, 0, 0, 0};   // top row
  return s;
}

}  // namespace

TEST(BmpRead, EightBitRowsBottomUpThroughThePalette) {
  TBmpRead r(BuildBmp(EightBit5x3()));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 5);
  EXPECT_EQ(r.params.Height, 3);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.BmpVersion, 1);
  EXPECT_EQ(r.params.ColorMapCount(), 4);
  ASSERT_EQ(r.bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(r.Pixel(0, 0), kRed);
  EXPECT_EQ(r.Pixel(4, 0), kGreen);
  EXPECT_EQ(r.Pixel(2, 1), kGreen);
  EXPECT_EQ(r.Pixel(4, 1), kBlack);  // out of range: black, never outside the palette
  EXPECT_EQ(r.Pixel(4, 2), kBlue);
}

TEST(BmpRead, PaletteSizeFollowsClrUsedOrBitCount) {
  TBmpSpec s = EightBit5x3();
  s.clrUsed = 0;
  s.palette.resize(256, kWhite);
  TBmpRead full(BuildBmp(s));
  EXPECT_EQ(full.params.ColorMapCount(), 256);
  EXPECT_EQ(full.Pixel(4, 1), kWhite);

  // More than 256 entries: the first 256 are kept and the pixels are still found.
  s.clrUsed = 300;
  s.palette.resize(300, kRed);
  TBmpRead many(BuildBmp(s));
  ASSERT_FALSE(many.aborted);
  EXPECT_EQ(many.params.ColorMapCount(), 256);
  EXPECT_EQ(many.Pixel(4, 2), kBlue);
}

TEST(BmpRead, ZeroOffBitsMeansDataBehindTheTable) {
  TBmpSpec s = EightBit5x3();
  s.setOffBits = false;
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.Pixel(4, 2), kBlue);
}

TEST(BmpRead, FourBitHighNibbleFirst) {
  TBmpSpec s;
  s.width = 3, s.height = 1, s.bits = 4, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {0x12, 0x30, 0, 0};
  TBmpRead r(BuildBmp(s));
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.Pixel(0, 0), kRed);
  EXPECT_EQ(r.Pixel(1, 0), kGreen);
  EXPECT_EQ(r.Pixel(2, 0), kBlue);
}

TEST(BmpRead, MonoWhiteBlackPaletteReadsAsTheSamePicture) {
  TBmpSpec s;
  s.width = 10, s.height = 2, s.bits = 1, s.palette = {kBlack, kWhite};
  s.pixels = {0xA0, 0x40, 0, 0, 0xFF, 0x00, 0, 0};
  TBmpRead blackWhite(BuildBmp(s));
  s.palette = {kWhite, kBlack};
  for (size_t i : {0, 1, 4, 5}) s.pixels[i] = uint8_t(~s.pixels[i]);
  TBmpRead whiteBlack(BuildBmp(s));
  ASSERT_EQ(blackWhite.bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(blackWhite.params.BitsPerSample, 1);
  EXPECT_EQ(blackWhite.params.SamplesPerPixel, 1);
  EXPECT_EQ(blackWhite.bitmap.ScanLine(1)[0], 0xA0);  // bottom row
  EXPECT_EQ(blackWhite.bitmap.ScanLine(0)[0], 0xFF);
  for (int y = 0; y < 2; ++y)
    for (int b = 0; b < 2; ++b) EXPECT_EQ(whiteBlack.bitmap.ScanLine(y)[b], blackWhite.bitmap.ScanLine(y)[b]);
}

TEST(BmpRead, TwentyFourAndThirtyTwoBits) {
  TBmpSpec s;
  s.width = 2, s.height = 1, s.bits = 24, s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
  TBmpRead r24(BuildBmp(s));
  EXPECT_EQ(r24.params.BitsPerSample, 8);
  EXPECT_EQ(r24.params.SamplesPerPixel, 3);
  EXPECT_EQ(r24.Pixel(1, 0), (TRGB{4, 5, 6}));
  s.bits = 32, s.compression = 3, s.masksAfterHeader = {0xFF0000, 0xFF00, 0xFF};
  s.pixels = {1, 2, 3, 99, 4, 5, 6, 99};
  TBmpRead r32(BuildBmp(s));
  EXPECT_EQ(r32.params.SamplesPerPixel, 3);
  EXPECT_EQ(r32.Pixel(0, 0), (TRGB{1, 2, 3}));
  EXPECT_EQ(r32.Pixel(1, 0), (TRGB{4, 5, 6}));
  // The masks count at 32 bits too: red in the low byte, blue in the third.
  s.masksAfterHeader = {0xFF, 0xFF00, 0xFF0000};
  TBmpRead swapped(BuildBmp(s));
  EXPECT_EQ(swapped.Pixel(0, 0), (TRGB{3, 2, 1}));
  s.compression = 0;
  s.masksAfterHeader.clear();
  TBmpRead plain(BuildBmp(s));
  EXPECT_EQ(plain.Pixel(1, 0), (TRGB{4, 5, 6}));
}

// Channels narrower than a byte are widened by repeating their bits, so that full scale is
// 255 as every other decoder gives; the masks are read where the file has them.
TEST(BmpRead, BitFieldChannelsAreWidenedByRepeatingTheirBits) {
  struct Case {
    const char* name;
    uint32_t header, compression;
    uint16_t bits;
    std::vector<uint32_t> inHeader, afterHeader;
    uint32_t pixel;
    TRGB expected;
    std::vector<TRGB> palette = {};
  } cases[] = {
      {"default 5-5-5 white", 40, 0, 16, {}, {}, 0x7FFF, MakeRGB(255, 255, 255)},
      {"default 5-5-5 red", 40, 0, 16, {}, {}, 0x7C00, MakeRGB(255, 0, 0)},
      {"5-6-5 white", 40, 3, 16, {}, {0xF800, 0x07E0, 0x001F}, 0xFFFF, MakeRGB(255, 255, 255)},
      {"5-6-5 green after the header", 40, 3, 16, {}, {0xF800, 0x07E0, 0x001F}, 0x07E0, MakeRGB(0, 255, 0)},
      {"5-6-5 after the header, a colour table behind them", 40, 3, 16, {}, {0xF800, 0x07E0, 0x001F}, 0xF800,
       MakeRGB(255, 0, 0), {kGreen, kBlue, kWhite}},
      {"5-6-5 inside a 108-byte header", 108, 3, 16, {0xF800, 0x07E0, 0x001F}, {}, 0xF81F, MakeRGB(255, 0, 255)},
      {"5-6-5 inside a 124-byte header", 124, 3, 16, {0xF800, 0x07E0, 0x001F}, {}, 0x0821, MakeRGB(8, 4, 8)},
      {"a zero mask gives 0", 40, 3, 16, {}, {0xF800, 0, 0x001F}, 0xFFFF, MakeRGB(255, 0, 255)},
      {"4-4-4", 40, 3, 16, {}, {0x0F00, 0x00F0, 0x000F}, 0x0F5A, MakeRGB(255, 85, 170)},
      {"blue and red exchanged", 40, 3, 16, {}, {0x001F, 0x03E0, 0x7C00}, 0x7C01, MakeRGB(8, 0, 255)},
      {"32 bits, 10-10-10", 40, 3, 32, {}, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FF003FF, MakeRGB(255, 0, 255)},
      {"32 bits, masks after the header and a table", 40, 3, 32, {}, {0xFF, 0xFF00, 0xFF0000}, 0x00332211,
       MakeRGB(0x11, 0x22, 0x33), {kRed}},
      {"32 bits in a V5 header", 124, 3, 32, {0xFF000000, 0xFF0000, 0xFF00}, {}, 0x11223300, MakeRGB(0x11, 0x22, 0x33)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBmpSpec s;
    s.headerSize = c.header, s.width = 1, s.height = 1, s.bits = c.bits, s.compression = c.compression;
    s.masksInHeader = c.inHeader, s.masksAfterHeader = c.afterHeader;
    s.palette = c.palette, s.clrUsed = uint32_t(c.palette.size());
    s.pixels = {uint8_t(c.pixel), uint8_t(c.pixel >> 8), uint8_t(c.pixel >> 16), uint8_t(c.pixel >> 24)};
    TBmpRead r(BuildBmp(s));
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.params.SamplesPerPixel, 3);
    EXPECT_EQ(r.Pixel(0, 0), c.expected);
  }
}

// 1-bit palettes of other colours than black and white, and 2-bit images, keep their colours.
TEST(BmpRead, ColouredMonoAndTwoBitPalettes) {
  TBmpSpec s;
  s.width = 10, s.height = 1, s.bits = 1, s.palette = {kRed, kBlue};
  s.pixels = {0xA0, 0x40, 0, 0};
  TBmpRead mono(BuildBmp(s));
  ASSERT_FALSE(mono.aborted);
  ASSERT_EQ(mono.bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(mono.params.BitsPerSample, 1);
  const TRGB expected[10] = {kBlue, kRed, kBlue, kRed, kRed, kRed, kRed, kRed, kRed, kBlue};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(mono.Pixel(x, 0), expected[x]) << x;

  s.width = 5, s.bits = 2, s.palette = kFour;
  s.pixels = {0x1B, 0xC0, 0, 0};  // 0 1 2 3 | 3
  TBmpRead two(BuildBmp(s));
  ASSERT_FALSE(two.aborted);
  EXPECT_EQ(two.params.BitsPerSample, 2);
  EXPECT_EQ(two.params.SamplesPerPixel, 1);
  EXPECT_EQ(two.params.ColorMapCount(), 4);
  const TRGB twoBit[5] = {kBlack, kRed, kGreen, kBlue, kBlue};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(two.Pixel(x, 0), twoBit[x]) << x;
}

TEST(BmpRead, LongHeaderIsVersionZeroWithTheTableBehindIt) {
  TBmpSpec s = EightBit5x3();
  s.headerSize = 108;
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BmpVersion, 0);
  EXPECT_EQ(r.Pixel(4, 2), kBlue);
  s.headerSize = 64;
  TBmpRead os2(BuildBmp(s));
  EXPECT_EQ(os2.params.BmpVersion, 3);
  EXPECT_EQ(os2.Pixel(4, 2), kBlue);
}

TEST(BmpRead, CoreHeaderWithThreeByteEntries) {
  TBmpSpec s;
  s.headerSize = 12, s.width = 3, s.height = 1, s.bits = 4;
  s.palette = kFour;
  s.palette.resize(16, kWhite);
  s.pixels = {0x12, 0xF0, 0, 0};
  iotest::TScopedDefaultDpi dpi(96, 96);
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BmpVersion, 2);
  EXPECT_EQ(r.params.ColorMapCount(), 16);
  EXPECT_EQ(r.params.DpiX, 96);
  EXPECT_EQ(r.Pixel(0, 0), kRed);
  EXPECT_EQ(r.Pixel(2, 0), kWhite);
}

TEST(BmpRead, ResolutionFromPixelsPerMetre) {
  iotest::TScopedDefaultDpi dpi(72, 73);
  TBmpSpec s = EightBit5x3();
  s.xPelsPerMeter = 3780, s.yPelsPerMeter = 11811;
  TBmpRead r(BuildBmp(s), true);
  EXPECT_EQ(r.params.DpiX, 96);
  EXPECT_EQ(r.params.DpiY, 300);
  s.xPelsPerMeter = 0, s.yPelsPerMeter = -50;
  TBmpRead none(BuildBmp(s), true);
  EXPECT_EQ(none.params.DpiX, 72);
  EXPECT_EQ(none.params.DpiY, 73);
}

TEST(BmpRead, TopDownRowsAreReadTheRightWayUp) {
  TBmpSpec s = EightBit5x3();
  s.height = -3;
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Height, 3);
  EXPECT_EQ(r.bitmap.Height(), 3);
  EXPECT_EQ(r.Pixel(0, 0), kBlue);  // the first row stored is now the top
  EXPECT_EQ(r.Pixel(0, 2), kRed);
}

TEST(BmpRead, HeaderOnlyFillsTheRecordAndLeavesTheBitmapAlone) {
  TBmpSpec s = EightBit5x3();
  s.compression = 1;
  s.xPelsPerMeter = 3780;
  s.pixels = {0, 1};
  TBmpRead r(BuildBmp(s), true);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.Width, 5);
  EXPECT_EQ(r.params.Height, 3);
  EXPECT_EQ(r.params.DpiX, 96);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.BmpVersion, 1);
  EXPECT_EQ(r.params.BmpCompression, 1);
  EXPECT_EQ(r.params.ColorMapCount(), 4);
  EXPECT_EQ(r.bitmap.Width(), 0);
}

TEST(BmpRead, Rle8Records) {
  TBmpSpec s;
  s.width = 6, s.height = 4, s.bits = 8, s.compression = 1, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {0x03, 0x01, 0x00, 0x00,              // bottom row: 3 red, end of line
              0x00, 0x03, 2, 3, 2, 0x00,           // absolute run of 3, padded
              0x00, 0x02, 0x01, 0x01,              // delta: 1 right, 1 up
              0x02, 0x03,                          // 2 blue at columns 4, 5 of the top row
              0x00, 0x01,                          // end of bitmap
              0x06, 0x02};                         // never reached
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params.BmpCompression, 1);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.Pixel(x, 3), kRed) << x;
  EXPECT_EQ(r.Pixel(3, 3), kBlack);
  EXPECT_EQ(r.Pixel(0, 2), kGreen);
  EXPECT_EQ(r.Pixel(1, 2), kBlue);
  EXPECT_EQ(r.Pixel(2, 2), kGreen);
  EXPECT_EQ(r.Pixel(3, 2), kBlack);  // skipped by the delta
  EXPECT_EQ(r.Pixel(4, 1), kBlue);
  EXPECT_EQ(r.Pixel(5, 1), kBlue);
  EXPECT_EQ(r.Pixel(0, 0), kBlack);  // rows after the end keep their initial contents
}

TEST(BmpRead, Rle4RunsAlternateNibbles) {
  TBmpSpec s;
  s.width = 8, s.height = 1, s.bits = 4, s.compression = 2, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {0x03, 0x12,              // 1 2 1
              0x00, 0x03, 0x32, 0x10,  // absolute 3 2 1 (two bytes, already even)
              0x02, 0x33, 0x00, 0x01};
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  const TRGB expected[] = {kRed, kGreen, kRed, kBlue, kGreen, kRed, kBlue, kBlue};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(r.Pixel(x, 0), expected[x]) << x;
}

TEST(BmpRead, RleOverrunsAreClippedToTheBitmap) {
  TBmpSpec s;
  s.width = 4, s.height = 2, s.bits = 8, s.compression = 1, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {0xFF, 0x01,                     // 255 red pixels in a 4-pixel row
              0x00, 0x05, 2, 2, 2, 2, 2, 0,   // absolute run past the row's end
              0x00, 0x00,                     // next row
              0x02, 0x03,                     // 2 blue
              0x00, 0x02, 0xF0, 0x00,         // delta far to the right
              0x05, 0x02,                     // nothing of it inside
              0x00, 0x02, 0x00, 0x09,         // delta above the image: ends decoding
              0x05, 0x02};
  TBmpRead r(BuildBmp(s));
  ASSERT_FALSE(r.aborted);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(r.Pixel(x, 1), kRed) << x;  // the run did not wrap
  EXPECT_EQ(r.Pixel(0, 0), kBlue);
  EXPECT_EQ(r.Pixel(1, 0), kBlue);
  EXPECT_EQ(r.Pixel(2, 0), kBlack);
  EXPECT_EQ(r.Pixel(3, 0), kBlack);
}

TEST(BmpRead, RleDataCutShortStopsQuietly) {
  TBmpSpec s;
  s.width = 4, s.height = 2, s.bits = 8, s.compression = 1, s.clrUsed = 4, s.palette = kFour;
  s.pixels = {0x02, 0x01, 0x00, 0x09, 1};  // absolute run of 9 with one byte
  TBmpRead r(BuildBmp(s));
  EXPECT_EQ(r.Pixel(1, 1), kRed);
  EXPECT_EQ(r.Pixel(2, 1), kBlack);
}

TEST(BmpRead, BadHeadersAbortCleanly) {
  struct Case {
    const char* name;
    int32_t width, height;
  } cases[] = {{"zero width", 0, 3},
               {"zero height", 5, 0},
               {"negative width", -5, 3},
               {"most negative height", 5, INT32_MIN},
               {"beyond the pixel limit", 100000, 100000}};
  for (const Case& c : cases) {
    TBmpSpec s = EightBit5x3();
    s.width = c.width, s.height = c.height;
    TBmpRead r(BuildBmp(s));
    EXPECT_TRUE(r.aborted) << c.name;
    EXPECT_EQ(r.bitmap.Width(), 0) << c.name;
    TBmpRead headerOnly(BuildBmp(s), true);
    EXPECT_TRUE(headerOnly.aborted) << c.name;
  }
}

TEST(BmpRead, WrongSignatureLeavesTheRecordAlone) {
  std::vector<uint8_t> file = BuildBmp(EightBit5x3());
  file[0] = 'X';
  TIOParamsVals params;
  params.Width = 77;
  TVLLocalProgress progress;
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  BmpReadStream(stream, nullptr, 0, true, progress.record, params);
  EXPECT_TRUE(progress.aborting);
  EXPECT_EQ(params.Width, 77);
}

TEST(BmpRead, TruncatedFileAbortsKeepingTheRowsRead) {
  std::vector<uint8_t> file = BuildBmp(EightBit5x3());
  file.resize(file.size() - 10);  // the top row and a bit of the middle are gone
  TBmpRead r(file);
  EXPECT_TRUE(r.aborted);
  ASSERT_EQ(r.bitmap.Height(), 3);
  EXPECT_EQ(r.Pixel(0, 2), kBlue);
  TBmpRead tiny(std::vector<uint8_t>{'B', 'M', 0, 0});
  EXPECT_TRUE(tiny.aborted);
}

// Compressions 4 and 5 carry a whole JPEG or PNG file, read by those adapters.
TEST(BmpRead, EmbeddedPngAndJpegAreDecoded) {
  TBitmap picture(6, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      reinterpret_cast<TRGB*>(picture.ScanLine(y))[x] = MakeRGB(uint8_t(100 + 9 * x), uint8_t(60 + 7 * y), 90);
  for (uint32_t compression : {4u, 5u}) {
    SCOPED_TRACE(compression);
    TVLMemoryStream embedded;
    TIOParamsVals params;
    params.BitsPerSample = 8, params.SamplesPerPixel = 3, params.JpegQuality = 100;
    TVLLocalProgress progress;
    if (compression == 4)
      JpegWriteStream(embedded, picture, params, progress.record);
    else
      PngWriteStream(embedded, picture, params, nullptr, progress.record);
    ASSERT_FALSE(progress.aborting);
    TBmpSpec s;
    s.width = 6, s.height = 4, s.bits = compression == 4 ? 24 : 0, s.compression = compression;
    s.embedded = embedded.Data();
    TBmpRead r(BuildBmp(s));
    ASSERT_FALSE(r.aborted) << r.progress.reason;
    ASSERT_EQ(r.bitmap.Width(), 6);
    ASSERT_EQ(r.bitmap.Height(), 4);
    const int tolerance = compression == 4 ? 8 : 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        const TRGB want = reinterpret_cast<const TRGB*>(picture.ScanLine(y))[x], got = r.Pixel(x, y);
        EXPECT_LE(std::abs(want.g - got.g), tolerance) << x << "," << y;
      }
    TBmpRead header(BuildBmp(s), true);
    EXPECT_FALSE(header.aborted);
    EXPECT_EQ(header.params.Width, 6);
  }
  TBmpSpec broken;
  broken.width = 6, broken.height = 4, broken.bits = 0, broken.compression = 5;
  broken.embedded = {0x89, 'P', 'N', 'G', 1, 2, 3};
  TBmpRead r(BuildBmp(broken));
  EXPECT_TRUE(r.aborted);
  EXPECT_FALSE(r.progress.reason.empty());
}

// What the reader cannot turn into pixels fails with a reason, in a header-only read too,
// instead of a blank bitmap reported as a picture.
TEST(BmpRead, UndecodedCombinationsFailWithAReason) {
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    const char* reason;
    uint32_t headerSize = 40;
  } cases[] = {
      {"RLE4 code on 8-bit data", 8, 2, "BMP: 8-bit data with compression 2 is not decoded"},
      {"RLE8 code on 1-bit data", 1, 1, "BMP: 1-bit data with compression 1 is not decoded"},
      {"bit fields on 4-bit data", 4, 3, "BMP: 4-bit data with compression 3 is not decoded"},
      {"6-bit pixels", 6, 0, "BMP: 6-bit data with compression 0 is not decoded"},
      {"16 bits, compression 6", 16, 6, "BMP: 16-bit data with compression 6 is not decoded"},
      {"OS/2 run-length 24 bits", 24, 4, "BMP: OS/2 24-bit run-length data is not decoded", 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBmpSpec s = EightBit5x3();
    s.bits = c.bits, s.compression = c.compression, s.headerSize = c.headerSize;
    s.pixels.resize(64);
    for (bool headerOnly : {false, true}) {
      TBmpRead r(BuildBmp(s), headerOnly);
      EXPECT_TRUE(r.aborted);
      EXPECT_EQ(r.progress.reason, c.reason);
    }
  }
}

TEST(BmpRead, ProgressStopsTheReadAfterTheCurrentRow) {
  std::vector<uint8_t> file = BuildBmp(EightBit5x3());
  TBitmap bitmap;
  TIOParamsVals params;
  TVLLocalProgress progress;
  std::vector<int> reported;
  progress.record.fOnProgress = [&](TVLObject*, int per) {
    reported.push_back(per);
    if (per > 0) progress.aborting = true;
  };
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  BmpReadStream(stream, &bitmap, 0, false, progress.record, params);
  EXPECT_EQ(reported, (std::vector<int>{0, 33}));
  EXPECT_EQ(reinterpret_cast<const TRGB*>(bitmap.ScanLine(2))[0], kBlue);
  EXPECT_EQ(reinterpret_cast<const TRGB*>(bitmap.ScanLine(1))[0], kBlack);
}
